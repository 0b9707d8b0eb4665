#include "package/patch_manifest.h"

#include <map>
#include <set>

#include "base/text.h"
#include "package/entry_names.h"

namespace {

bool IsManifestSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string Shown(std::u16string_view name) { return "\"" + EscapeNameForLine(name) + "\""; }

// A field as the manifest stores it, or false with the rule broken.
bool ManifestField(const PatchManifestInput& input, std::u16string_view name, std::string* field,
                   std::string* error) {
  if (!input.encode(name, field)) {
    *error = Shown(name) + ": not representable in the target ANSI code page; players' launchers"
                           " could not find it (rename it, or choose the code page with --codepage)";
    return false;
  }
  for (char c : *field) {
    if (IsManifestSpace(c)) {
      *error = Shown(name) + ": holds white space, which separates the manifest's fields";
      return false;
    }
  }
  if (field->size() > kPatchListMaxField) {
    *error = Shown(name) + ": " + std::to_string(field->size()) +
             " bytes in the manifest, over its limit of " + std::to_string(kPatchListMaxField);
    return false;
  }
  return true;
}

}  // namespace

std::u16string ManifestKey(std::u16string_view entry_name) {
  const size_t slash = entry_name.rfind(u'/');
  return FoldEntryName(slash == std::u16string_view::npos ? entry_name
                                                          : entry_name.substr(slash + 1));
}

bool BuildPatchManifest(const PatchManifestInput& input, PatchManifest* out, std::string* error) {
  out->text.clear();
  out->notes.clear();
  struct Record {
    std::string entry;
    VersionNumber version;
  };
  std::map<std::string, Record> records;  // key -> record, in byte order

  for (const ManifestRecord& r : input.previous) {
    const std::string key = AsciiUpper(r.key);
    const VersionNumber v = static_cast<VersionNumber>(r.version);
    if (v >= input.version) {
      *error = "previous manifest, record \"" + r.key + "\": version " + std::to_string(r.version) +
               " is not older than the new version " + FiveDigitForm(input.version);
      return false;
    }
    if (!HeldInPatchPackage(v, input.base)) {
      *error = "previous manifest, record \"" + r.key + "\": version " + std::to_string(r.version) +
               " is not above the base version " + FiveDigitForm(input.base);
      return false;
    }
    if (!records.emplace(key, Record{r.entry_name, v}).second) {
      *error = "previous manifest: the key \"" + key + "\" appears twice (up to case)";
      return false;
    }
  }

  const std::u16string exe_key = FoldEntryName(input.game_exe);
  std::map<std::string, std::string> removed_entries;  // upper-cased -> as named
  for (const std::u16string& name : input.removed) {
    if (FoldEntryName(name) == u"PATCHLIST.TXT") continue;
    if (!input.game_exe.empty() && FoldEntryName(name) == exe_key) {
      *error = Shown(name) + ": the game executable cannot be removed; the launcher starts it";
      return false;
    }
    if (!input.allow_removals) {
      *error = Shown(name) + " is in the old tree but not in the new one. A patch package cannot"
               " delete a file: its manifest record is dropped and players' game then reads the"
               " base archives' copy, if they hold one. Pass --allow-removals to accept that";
      return false;
    }
    std::string field;
    if (input.encode(name, &field)) removed_entries.emplace(AsciiUpper(field), field);
  }
  std::set<std::string> recorded_entries;
  for (const auto& [key, record] : records) recorded_entries.insert(AsciiUpper(record.entry));
  for (const auto& [upper, entry] : removed_entries) {
    if (!recorded_entries.count(upper)) {
      out->notes.push_back("\"" + entry + "\" removed: no record names it, so it lives in the base"
                           " archives, and the game still reads that copy");
    }
  }
  for (auto it = records.begin(); it != records.end();) {
    if (removed_entries.count(AsciiUpper(it->second.entry))) {
      out->notes.push_back("\"" + it->second.entry + "\" removed: its record \"" + it->first +
                           "\" (version " + std::to_string(it->second.version) +
                           ") is dropped; the game reads the base archives' copy if there is one");
      it = records.erase(it);
    } else {
      ++it;
    }
  }

  std::map<std::string, std::u16string> this_release;  // key -> name, for collisions
  for (const std::u16string& name : input.changed) {
    if (FoldEntryName(name) == u"PATCHLIST.TXT") {
      *error = Shown(name) + ": the name is reserved for the package's manifest";
      return false;
    }
    std::string entry;
    std::string key;
    if (!ManifestField(input, name, &entry, error) ||
        !ManifestField(input, ManifestKey(name), &key, error)) {
      return false;
    }
    if (AsciiUpper(key) != key) {
      // A double-byte character whose second byte is a-z: the launcher's
      // window side upper-cases that byte, so the two sides would disagree.
      *error = Shown(name) + ": its key holds a double-byte character with a second byte a-z,"
               " which the launcher's window side changes; the key would not be found";
      return false;
    }
    if (!input.game_exe.empty() && ManifestKey(name) == exe_key && name.find(u'/') != name.npos) {
      *error = Shown(name) + ": has the game executable's name but is not at the package root,"
               " where the launcher extracts the executable from";
      return false;
    }
    const auto [seen, added] = this_release.emplace(key, name);
    if (!added) {
      *error = Shown(seen->second) + " and " + Shown(name) + " would both be filed under the key \"" +
               key + "\"; the manifest keeps one record per key";
      return false;
    }
    const auto carried = records.find(key);
    if (carried != records.end() && AsciiUpper(carried->second.entry) != AsciiUpper(entry)) {
      *error = Shown(name) + " would take the key \"" + key + "\" of \"" + carried->second.entry +
               "\" (version " + std::to_string(carried->second.version) +
               "), which stays; the manifest keeps one record per key";
      return false;
    }
    records[key] = Record{entry, input.version};
  }

  for (const auto& [key, record] : records) {
    out->text += key + "\t" + record.entry + "\t" + std::to_string(record.version) + "\n";
  }
  return true;
}
