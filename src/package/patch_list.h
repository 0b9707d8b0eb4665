// The patch list ("PatchList.txt"), the manifest carried in every patch
// package: one record per line, "KEY<tab>entry/name<tab>version", naming the
// entry and the package version that hold each patched file's newest copy.
// Functions here are not locked; each index belongs to one thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/version.h"

struct PatchListEntry {
  std::string entry_name;  // ANSI code page, '/' separators
  VersionNumber version = 0;
};

// Key to entry; std::string orders keys byte by byte as unsigned bytes, a
// shorter key before every key it begins. Look up with find(KEY).
using PatchListIndex = std::map<std::string, PatchListEntry>;

enum class PatchListMode {
  kWindow,  // keys upper-cased (a-z, byte by byte); "data error" printed on a bad record
  kWorker,  // keys as written; the version list is kept
};

// A key or entry name longer than this makes the record malformed.
inline constexpr size_t kPatchListMaxField = 259;

// Parses the zero-terminated `text` into `index`, which is cleared first; in
// worker mode also fills `versions` (cleared first; may be null in window
// mode) with the distinct versions, sorted ascending as signed numbers.
// Returns false at the first malformed record (fewer than three fields, a
// version that is not a 32-bit decimal number, a field over 259 bytes): the
// index then holds the records before it and the version list is unsorted.
// Null text or index: false, nothing touched.
bool ParsePatchList(const char* text, PatchListMode mode, PatchListIndex* index,
                    std::vector<int32_t>* versions);

// Worker side: reads "PatchList.txt" from "System/Verpatch%05d.qvk" of
// `current_version` (relative to the working directory) and parses it in
// worker mode. 1 when loaded, 0 otherwise. A missing package or entry or a
// short read leaves `index` and `versions` untouched.
int LoadPatchList(VersionNumber current_version, PatchListIndex* index,
                  std::vector<int32_t>* versions);
