// Reading manifests and their packages from disk for verify, patch and check.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "package/manifest_check.h"
#include "qvk/qvk_common.h"

// Patch packages of one folder, opened on demand and kept open.
class PackageShelf {
 public:
  PackageShelf(std::filesystem::path dir, unsigned code_page) : dir_(std::move(dir)), code_page_(code_page) {}
  // Adds an archive already open under its version.
  void Put(VersionNumber version, QvkArchivePtr archive) { open_[version] = std::move(archive); }
  // The package of `version`, or null when it is missing or does not open.
  QvkArchive* Get(VersionNumber version);
  std::filesystem::path PathOf(VersionNumber version) const;
  // Presence of an entry named in the manifest's code page.
  EntryPresence Find(VersionNumber version, const std::string& entry_name);

 private:
  std::filesystem::path dir_;
  unsigned code_page_;
  std::map<VersionNumber, QvkArchivePtr> open_;
};

// "Verpatch<n>..." file name -> n, as the launcher's clean-up reads it.
std::optional<VersionNumber> PackageVersionOfPath(const std::filesystem::path& path);

// Parses a code page option ("936", "1252"); 0 when it is not a number.
unsigned ParseCodePage(const std::u16string& text);
