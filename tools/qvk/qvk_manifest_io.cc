#include "qvk/qvk_manifest_io.h"

#include "qvk/qvk_platform.h"
#include "update/package_check.h"

namespace fs = std::filesystem;

fs::path PackageShelf::PathOf(VersionNumber version) const {
  const std::string path = PatchPackagePath(version);  // "System/Verpatch%05d.qvk"
  return dir_ / path.substr(path.find('/') + 1);
}

QvkArchive* PackageShelf::Get(VersionNumber version) {
  auto found = open_.find(version);
  if (found != open_.end()) return found->second.get();
  QvkArchivePtr archive(QvkOpen(PathOf(version).u16string().c_str()));
  QvkArchive* result = archive.get();
  open_[version] = std::move(archive);
  return result;
}

EntryPresence PackageShelf::Find(VersionNumber version, const std::string& entry_name) {
  QvkArchive* archive = Get(version);
  if (!archive) return EntryPresence::kPackageMissing;
  std::u16string wide;
  if (!DecodeCodePage(entry_name, code_page_, &wide)) return EntryPresence::kMissing;
  const QvkEntryPtr entry(QvkOpenEntry(archive, wide.c_str()));
  return entry ? EntryPresence::kPresent : EntryPresence::kMissing;
}

std::optional<VersionNumber> PackageVersionOfPath(const fs::path& path) {
  return PatchPackageNumber(path.filename().u16string());
}

unsigned ParseCodePage(const std::u16string& text) {
  unsigned value = 0;
  if (text.empty() || text.size() > 5) return 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    value = value * 10 + static_cast<unsigned>(c - u'0');
  }
  return value;
}
