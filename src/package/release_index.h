// The release index, "packages.txt": what the operator has published beside
// the server list, written by `qvk index` and read by the download program.
// UTF-8 text, one record a line, fields separated by one tab, LF or CRLF line
// ends, '#' starts a comment line:
//   format   1                      (the first record)
//   serial   N                      grows with every published index
//   expires  YYYY-MM-DDTHH:MM:SSZ   optional; refused after it
//   base     M.m.b                  the base version the packages build on
//   latest   M.m.b                  the version an installation is brought to
//   needs    M.m.b M.m.b ...        the packages the latest version needs
//   mirror   URL/                   zero or more, in order of preference
//   package  M.m.b NAME SIZE SHA256 one per published package
//   program  INSTALLED SERVED SIZE SHA256  a program of the installation's
//                                   root (launcher.exe, downloader.exe),
//                                   served as <stem>-<16 hex of SHA256>.exe
//   trust    root|release KEY       the keys to trust from now on (see
//                                   index_signature.h); zero or more
//   signature KEY-ID SIGNATURE      the last record, if any
// Unknown records are refused, so that a newer format fails loudly. Pure
// functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ecdsa_p256.h"
#include "base/sha256.h"
#include "base/version.h"

struct IndexedPackage {
  VersionNumber version = 0;
  std::string file_name;  // "Verpatch%05d.qvk" of the version
  uint64_t size = 0;
  Sha256Digest sha256 = {};
};

// The programs an index may name, at the installation's root.
inline constexpr const char* kUpdatablePrograms[] = {"launcher.exe", "downloader.exe"};

struct IndexedProgram {
  std::string installed_name;  // "launcher.exe" or "downloader.exe"
  std::string served_name;     // "<stem>-<first 16 hex digits of its SHA-256>.exe"
  uint64_t size = 0;
  Sha256Digest sha256 = {};
};

// The served name of a program: "launcher-0123456789abcdef.exe".
std::string ServedProgramName(const std::string& installed_name, const Sha256Digest& sha256);

struct ReleaseIndex {
  uint64_t serial = 0;
  int64_t expires = 0;  // seconds since 1970-01-01 UTC; 0: no expiry
  VersionNumber base = 0;
  VersionNumber latest = 0;
  std::vector<VersionNumber> needs;  // ascending, distinct
  std::vector<std::string> mirrors;
  std::vector<IndexedPackage> packages;  // ascending by version
  std::vector<IndexedProgram> programs;  // at most one of each name
  std::vector<EcPublicKey> trust_root;     // the trust records, by role
  std::vector<EcPublicKey> trust_release;

  // The package record of `version`, or null (a binary search: `packages`
  // must be ascending, as a parsed index's are).
  const IndexedPackage* Find(VersionNumber version) const;
};

// The largest package an index may name.
inline constexpr uint64_t kMaxPackageBytes = uint64_t{1} << 40;

// The largest program an index may name.
inline constexpr uint64_t kMaxProgramBytes = 256 << 20;

// The largest index accepted: some 100 bytes a package. Its signature is
// checked over the whole text before it is parsed, so the text is bounded
// while it is fetched.
inline constexpr size_t kMaxReleaseIndexBytes = 1 << 20;

// Reads a text of index records line by line: LF or CRLF ends, blank lines
// and '#' comment lines skipped. The release index and the key statement
// (index_signature.h) share it.
class IndexLines {
 public:
  explicit IndexLines(std::string_view text) : text_(text) {}
  // The next record line, without its line end; false at the end.
  bool Next(std::string_view* line);
  size_t line_number() const { return line_number_; }

 private:
  std::string_view text_;
  size_t start_ = 0;
  size_t line_number_ = 0;
};

// A record line's fields, split at single tabs.
std::vector<std::string_view> IndexFields(std::string_view line);

// Reads `text` into `index`. On a malformed index returns false and sets
// `error` to "line N: what is wrong" (line 0 for what concerns the whole).
// A sound index has format, serial, base and latest once, needs once naming
// the latest version, a package record for every needed version, each
// version above the base and not above the latest.
bool ParseReleaseIndex(std::string_view text, ReleaseIndex* index, std::string* error);

// The index as text, records in a fixed order, without a signature record:
// the same index gives the same bytes.
std::string FormatReleaseIndex(const ReleaseIndex& index);

// "YYYY-MM-DDTHH:MM:SSZ" <-> seconds since 1970-01-01 UTC (years 1970 to
// 9999); false on any other text.
bool ParseUtcTime(std::string_view text, int64_t* seconds);
std::string FormatUtcTime(int64_t seconds);

// The packages an installation at `latest` needs, as the launcher decides:
// the latest package and every package its manifest names (`manifest_versions`,
// from the worker-mode parse) above the base. Ascending, distinct.
std::vector<VersionNumber> NeededPackages(VersionNumber latest,
                                          const std::vector<int32_t>& manifest_versions,
                                          VersionNumber base);

// The dotted text of a version ("1.0.2"), as the index writes versions.
std::string IndexVersionText(VersionNumber version);
