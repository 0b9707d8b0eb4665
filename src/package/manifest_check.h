// Checks of a patch list ("PatchList.txt") for the operators' tools: the
// launcher's own parser in both modes, then the rules that decide whether
// every player's launcher will find what the manifest names.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/patch_list.h"

// One record as the launcher reads it, in text order.
struct ManifestRecord {
  std::string key;
  std::string entry_name;
  int32_t version = 0;
};

// The records of `text` in order, each line parsed alone with the launcher's
// parser (window mode, keys kept as written by re-reading the worker mode).
// False with `error` ("line N: ...") when the text does not parse in either
// mode, or a line does not parse alone.
bool ReadManifestRecords(const std::string& text, std::vector<ManifestRecord>* records,
                         std::string* error);

enum class EntryPresence { kPresent, kMissing, kPackageMissing, kNotChecked };
// Whether the package of `version` holds the entry `entry_name` (narrow, in
// the manifest's code page).
using EntryLookup = std::function<EntryPresence(VersionNumber version, const std::string& entry_name)>;

struct ManifestRules {
  std::optional<VersionNumber> base;     // records must name versions above it
  std::optional<VersionNumber> package;  // the version of the package carrying the list
  // Converts a field to the target code page's wide text; null: not checked.
  std::function<bool(const std::string& field)> representable;
};

// One line per problem; empty when the manifest is sound: it parses in both
// modes; keys are upper case (the background check looks keys up as written)
// and unique; every version is above the base and not above the carrying
// package's own version; fields are representable in the code page; every
// named entry is present in its package (an executable's record also needs
// an entry named like its key, which is what the refresh extracts).
std::vector<std::string> CheckManifest(const std::string& text, const ManifestRules& rules,
                                       const EntryLookup& lookup);
