// The patch list ("PatchList.txt"), the manifest carried in every patch
// package: one record per line, "KEY<tab>entry/name<tab>version", naming the
// entry and the package version that hold each patched file's newest copy.
// Functions here are not locked; each index belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/version.h"

enum class PatchListMode {
  kWindow,  // keys upper-cased (a-z, byte by byte)
  kWorker,  // keys as written; the version list is kept
};

// A key or entry name longer than this makes the record malformed.
inline constexpr size_t kPatchListMaxField = 259;

// One record, copied out of an index.
struct PatchListEntry {
  std::string key;         // upper-cased in window mode
  std::string entry_name;  // ANSI code page, '/' separators
  VersionNumber version = 0;
};

// A parsed patch list: the text itself and, per record, where its fields lie
// in it. A grown installation's list has 100,000 records and the launcher
// looks up two or three keys, so a lookup walks the records instead of the
// parse building a search structure.
class PatchListIndex {
 public:
  // The record under `key`, compared byte by byte with the record's key as
  // the mode gives it (upper-cased in window mode). Of several records with
  // that key, the last one.
  std::optional<PatchListEntry> Find(std::string_view key) const;

  // The records in text order, repeated keys included. Record(i) with i at
  // or past record_count() is an empty entry.
  size_t record_count() const { return records_.size(); }
  PatchListEntry Record(size_t i) const;

  // How many distinct keys the records have; sorts a copy of the records.
  size_t CountKeys() const;

  // Makes a list parsed in worker mode read as the window's: the records of
  // the two modes are the same, only the keys are compared upper-cased. So
  // the window can take over the list the worker read instead of reading
  // and parsing it again.
  void UseWindowKeys() { upper_keys_ = true; }

 private:
  struct Fields {
    size_t key_begin = 0;
    size_t name_begin = 0;
    uint16_t key_length = 0;
    uint16_t name_length = 0;
    int32_t version = 0;
  };

  friend bool ParsePatchList(std::string&& text, PatchListMode mode, PatchListIndex* index,
                             std::vector<int32_t>* versions);

  char KeyByte(const Fields& r, size_t i) const;
  bool KeyLess(const Fields& a, const Fields& b) const;
  PatchListEntry Entry(const Fields& r) const;

  std::string text_;
  std::vector<Fields> records_;
  bool upper_keys_ = false;  // window mode
};

// Parses `text` up to its first zero byte into `index`, which takes the text
// over and drops what it held; in worker mode also fills `versions` (cleared
// first; may be null in window mode) with the distinct versions, sorted
// ascending as signed numbers. Returns false at the first malformed record
// (fewer than three fields, a version that is not a 32-bit decimal number, a
// field over 259 bytes): the index then holds the records before it and the
// version list is in first-seen order. Null index: false, nothing touched.
[[nodiscard]] bool ParsePatchList(std::string&& text, PatchListMode mode, PatchListIndex* index,
                                  std::vector<int32_t>* versions);
// The same for the zero-terminated `text`, copied. Null text: false, nothing
// touched.
[[nodiscard]] bool ParsePatchList(const char* text, PatchListMode mode, PatchListIndex* index,
                                  std::vector<int32_t>* versions);

// Worker side: reads "PatchList.txt" from "System/Verpatch%05d.qvk" of
// `current_version` (relative to the working directory) and parses it in
// worker mode. 1 when loaded, 0 otherwise. A missing package or entry or a
// short read leaves `index` and `versions` untouched.
int LoadPatchList(VersionNumber current_version, PatchListIndex* index,
                  std::vector<int32_t>* versions);
