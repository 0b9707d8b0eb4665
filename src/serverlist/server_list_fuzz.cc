// Feeds arbitrary bytes (already unscrambled) to the server list parser and
// checks that every stored text stays terminated within its field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "serverlist/server_list_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ServerList list;
  const bool loaded = ParseServerListDocument(reinterpret_cast<const char*>(data), size, list);
  // A document that is not a list leaves the list as it was.
  if (!loaded && (!list.zones.empty() || list.required_version != 0)) std::abort();
  if (list.depth != 0 || list.zones.size() > kMaxZones) std::abort();
  for (const auto& zone : list.zones) {
    if (zone->name[kZoneNameUnits] != 0 || zone->server_address[kServerAddressBytes] != 0 ||
        zone->link_text[kZoneLinkBytes] != 0) {
      std::abort();
    }
    for (const ZoneServer& s : zone->servers) {
      if (s.zone != zone.get() || s.name[kZoneNameUnits] != 0 ||
          s.text1[kServerTextBytes] != 0 || s.text2[kServerTextBytes] != 0) {
        std::abort();
      }
    }
  }
  return 0;
}
