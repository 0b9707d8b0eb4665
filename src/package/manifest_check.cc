#include "package/manifest_check.h"

#include <map>

#include "base/text.h"

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool HasLowerAsciiLetter(const std::string& text) {
  for (char c : text) {
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

bool EndsWithExe(const std::string& key) {
  return key.size() >= 4 && key.compare(key.size() - 4, 4, ".EXE") == 0;
}

}  // namespace

bool ReadManifestRecords(const std::string& text, std::vector<ManifestRecord>* records,
                         std::string* error) {
  PatchListIndex index;
  std::vector<int32_t> versions;
  if (!ParsePatchList(text.c_str(), PatchListMode::kWindow, &index, nullptr)) {
    *error = "does not parse in the launcher's window mode (message 271 for every player)";
    return false;
  }
  if (!ParsePatchList(text.c_str(), PatchListMode::kWorker, &index, &versions)) {
    *error = "does not parse in the launcher's worker mode";
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    *error = "holds a zero byte: the launcher stops reading there";
    return false;
  }
  records->clear();
  size_t line_number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!ParsePatchList(line.c_str(), PatchListMode::kWorker, &index, &versions)) {
      *error = "line " + std::to_string(line_number) + ": a record that spans lines";
      return false;
    }
    if (index.CountKeys() > 1) {
      *error = "line " + std::to_string(line_number) + ": more than one record on one line";
      return false;
    }
    if (index.record_count() > 0) {  // all under one key: the last one counts
      const PatchListEntry entry = index.Record(index.record_count() - 1);
      records->push_back({entry.key, entry.entry_name, static_cast<int32_t>(entry.version)});
    }
  }
  return true;
}

std::vector<std::string> CheckManifest(const std::string& text, const ManifestRules& rules,
                                       const EntryLookup& lookup) {
  std::vector<std::string> problems;
  std::vector<ManifestRecord> records;
  std::string error;
  if (!ReadManifestRecords(text, &records, &error)) {
    problems.push_back("PatchList.txt " + error);
    return problems;
  }
  for (size_t i = text.find('\r'); i != std::string::npos; i = text.find('\r', i + 1)) {
    if (i + 1 < text.size() && text[i + 1] != '\n') {
      problems.push_back("PatchList.txt has a carriage return without a line feed: the launcher"
                         " reads only the first record of such a line");
      break;
    }
  }
  std::map<std::string, std::string> seen;  // upper-cased key -> key as written
  for (const ManifestRecord& r : records) {
    const std::string where = "PatchList.txt record " + Quoted(r.key) + ": ";
    const VersionNumber v = static_cast<VersionNumber>(r.version);
    if (HasLowerAsciiLetter(r.key)) {
      problems.push_back(where + "key is not upper case; the launcher's package check looks keys"
                                 " up as written");
    }
    const std::string upper = AsciiUpper(r.key);
    const auto [it, added] = seen.emplace(upper, r.key);
    if (!added) {
      problems.push_back(where + "the key appears twice (also as " + Quoted(it->second) +
                         "); the later record silently wins");
    }
    if (rules.base && !HeldInPatchPackage(v, *rules.base)) {
      problems.push_back(where + "version " + std::to_string(r.version) +
                         " is not above the base version " + FiveDigitForm(*rules.base) +
                         "; the launcher takes this file from the base archives");
    }
    if (rules.package && v > *rules.package) {
      problems.push_back(where + "version " + std::to_string(r.version) +
                         " is above this package's own version " + FiveDigitForm(*rules.package));
    }
    if (rules.representable && (!rules.representable(r.key) || !rules.representable(r.entry_name))) {
      problems.push_back(where + "not representable in the target code page");
    }
    if (!lookup) continue;
    auto check_entry = [&](const std::string& name, const char* what) {
      const EntryPresence presence = lookup(v, name);
      switch (presence) {
        case EntryPresence::kMissing:
          problems.push_back(where + what + Quoted(name) + " is missing from " +
                             PatchPackagePath(v));
          break;
        case EntryPresence::kPackageMissing:
          problems.push_back(where + "package " + PatchPackagePath(v) + " is missing");
          break;
        default:
          break;
      }
      return presence;
    };
    if (check_entry(r.entry_name, "entry ") == EntryPresence::kPackageMissing) continue;
    if (EndsWithExe(upper) && upper.find('/') == std::string::npos) {
      check_entry(r.key, "executable entry ");
    }
  }
  return problems;
}
