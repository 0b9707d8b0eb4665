#include "package/patch_list.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "base/text.h"
#include "package/qvk_archive.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The fields of one record as a "%s\t%s\t%d" scan reads them.
struct ScannedRecord {
  int fields = 0;  // how many fields were read, 0..3
  bool too_long = false;
  size_t key_begin = 0;
  size_t key_length = 0;
  size_t name_begin = 0;
  size_t name_length = 0;
  int32_t version = 0;
};

// Skips blanks, then takes a run of non-blank bytes.
bool ScanWord(const char* text, size_t* pos, size_t* begin, size_t* length) {
  size_t p = *pos;
  while (IsBlank(text[p])) ++p;
  if (text[p] == 0) {
    *pos = p;
    return false;
  }
  *begin = p;
  while (text[p] != 0 && !IsBlank(text[p])) ++p;
  *length = p - *begin;
  *pos = p;
  return true;
}

// Skips blanks, then takes an optionally signed decimal number that fits 32 bits.
bool ScanNumber(const char* text, size_t pos, int32_t* value) {
  while (IsBlank(text[pos])) ++pos;
  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
  if (text[pos] < '0' || text[pos] > '9') return false;
  int64_t v = 0;
  for (; text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    v = v * 10 + (text[pos] - '0');
    if (v > int64_t{1} << 31) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

ScannedRecord ScanRecord(const char* text, size_t pos) {
  ScannedRecord r;
  if (!ScanWord(text, &pos, &r.key_begin, &r.key_length)) return r;
  r.fields = 1;
  if (r.key_length > kPatchListMaxField) {
    r.too_long = true;
    return r;
  }
  if (!ScanWord(text, &pos, &r.name_begin, &r.name_length)) return r;
  r.fields = 2;
  if (r.name_length > kPatchListMaxField) {
    r.too_long = true;
    return r;
  }
  if (ScanNumber(text, pos, &r.version)) r.fields = 3;
  return r;
}

}  // namespace

bool ParsePatchList(const char* text, PatchListMode mode, PatchListIndex* index,
                    std::vector<int32_t>* versions) {
  if (text == nullptr || index == nullptr) return false;
  const bool worker = mode == PatchListMode::kWorker;
  index->clear();
  if (versions != nullptr) versions->clear();
  std::unordered_set<int32_t> seen;

  size_t pos = 0;
  for (;;) {
    const ScannedRecord r = ScanRecord(text, pos);
    if (r.fields == 0) break;
    if (r.fields < 3 || r.too_long) {
      if (!worker) std::puts("data error");
      return false;
    }
    std::string key(text + r.key_begin, r.key_length);
    if (!worker) key = AsciiUpper(std::move(key));
    PatchListEntry& entry = (*index)[key];
    entry.entry_name.assign(text + r.name_begin, r.name_length);
    entry.version = static_cast<VersionNumber>(r.version);
    if (worker && versions != nullptr && seen.insert(r.version).second) {
      versions->push_back(r.version);
    }
    // The next record is read from the next line end after the record's
    // start. Line ends before the key would only read this record again.
    pos = std::max(pos + 1, r.key_begin);
    while (text[pos] != '\n' && text[pos] != 0) ++pos;
  }
  if (worker && versions != nullptr) std::sort(versions->begin(), versions->end());
  return true;
}

int LoadPatchList(VersionNumber current_version, PatchListIndex* index,
                  std::vector<int32_t>* versions) {
  if (index == nullptr || versions == nullptr) return 0;
  const std::string path = PatchPackagePath(current_version);
  QvkArchive* archive = QvkOpen(std::u16string(path.begin(), path.end()).c_str());
  if (archive == nullptr) return 0;
  std::string text;
  const int read = QvkReadAll(archive, u"PatchList.txt", &text);
  QvkClose(archive);
  if (read != 0) return 0;
  return ParsePatchList(text.c_str(), PatchListMode::kWorker, index, versions) ? 1 : 0;
}
