// Where the link configuration (the three side-file URLs) comes from, as a
// pure decision. Callable from any thread.
#pragma once

#include <string>

#include "base/version.h"

enum class LinkSource {
  kLocalFile,     // "System/linkconfig.ini" of the installation
  kPatchPackage,  // the manifest's "LINK.INI" entry inside its patch package
  kBaseArchive,   // "link.ini" inside "System/System.qvk"
};

struct LinkSourceChoice {
  LinkSource source = LinkSource::kBaseArchive;
  std::string archive;  // package path relative to the installation; empty for kLocalFile
  std::string entry;    // entry name inside the archive (narrow, as in the manifest)
};

// The manifest's record under the exact key "LINK.INI", if there is one.
struct ManifestLinkEntry {
  bool present = false;
  std::string entry;
  VersionNumber version = 0;
};

constexpr const char* kBaseArchivePath = "System/System.qvk";
constexpr const char* kBaseLinkEntry = "link.ini";

// A local "System/linkconfig.ini" wins; then the manifest's "LINK.INI" when
// its version is held in a patch package (not 0, above the base version);
// otherwise "link.ini" of the base archive.
LinkSourceChoice ChooseLinkSource(bool local_file_exists, const ManifestLinkEntry& link_entry,
                                  VersionNumber base);
