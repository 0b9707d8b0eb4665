#include "serverlist/server_list.h"

std::u16string_view ZoneRecord::Name() const {
  std::size_t n = 0;
  while (n < kZoneNameUnits && name[n] != 0) ++n;
  return std::u16string_view(name, n);
}

ServerList& GlobalServerList() {
  // Never destroyed: zone references handed out stay valid until the process ends.
  static ServerList* list = new ServerList();
  return *list;
}
