// The server list as loaded into memory: the required version, the zones in
// document order and the current zone. One process-wide instance, filled by
// the updater worker before it sends UM_VERSION_READY and read by the dialog
// afterwards; no lock guards it (the synchronous send orders the accesses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Unsigned 32-bit version whose decimal digits read M m bbb (12003 is 1.2.3).
// The same alias may be declared elsewhere (the version bookkeeping); both
// name std::uint32_t, which C++ allows.
using VersionNumber = std::uint32_t;

// Capacities of the stored texts, in code units (UTF-16) or bytes (ANSI).
// Each field has one more slot than its capacity, so a text that fills its
// capacity is still terminated inside the field.
inline constexpr std::size_t kZoneNameUnits = 16;
inline constexpr std::size_t kServerAddressBytes = 32;
inline constexpr std::size_t kZoneLinkBytes = 256;
inline constexpr std::size_t kServerTextBytes = 32;

struct ZoneRecord;

// One level-3 element of a zone. Kept, not used further by the launcher.
struct ZoneServer {
  char16_t name[kZoneNameUnits + 1] = {};
  std::int32_t value1 = 0;
  std::int32_t value2 = 0;
  char text1[kServerTextBytes + 1] = {};
  char text2[kServerTextBytes + 1] = {};
  const ZoneRecord* zone = nullptr;  // the zone that holds this entry
};

// One zone (level-2 element). Every text field is NUL-terminated within it.
struct ZoneRecord {
  char16_t name[kZoneNameUnits + 1] = {};            // attribute 1, UTF-16
  std::int32_t preferred = 0;                         // attribute 2, nonzero = preferred
  char server_address[kServerAddressBytes + 1] = {};  // attribute 3, ANSI code page
  char link_text[kZoneLinkBytes + 1] = {};            // attribute 4, ANSI code page
  std::int32_t extra_value = 0;                       // attribute 5
  std::vector<ZoneServer> servers;                    // level-3 children

  ZoneRecord() = default;
  ZoneRecord(const ZoneRecord&) = delete;  // servers point back at their zone
  ZoneRecord& operator=(const ZoneRecord&) = delete;

  std::u16string_view Name() const;  // the name up to its terminator
};

struct ServerList {
  std::int32_t depth = 0;  // element nesting depth, meaningful during a parse only
  VersionNumber required_version = 0;
  VersionNumber current_version = 0;  // set by the version bookkeeping
  VersionNumber base_version = 0;     // set by the version bookkeeping
  const ZoneRecord* current_zone = nullptr;
  // Owned, in document order; records never move, so references stay valid
  // for the life of the list.
  std::vector<std::unique_ptr<ZoneRecord>> zones;
  ZoneRecord* last_zone = nullptr;  // parent of level-3 elements during a parse
};

// The process-wide server list: zero until the first load, lives until the
// process ends. Not synchronised (see the top of this file).
ServerList& GlobalServerList();
