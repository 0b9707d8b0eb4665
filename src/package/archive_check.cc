#include "package/archive_check.h"

#include <memory>

#include "package/manifest_check.h"
#include "package/qvk_archive.h"
#include "package/qvk_verify.h"

std::vector<std::string> CheckPackageArchive(const std::filesystem::path& path, VersionNumber version,
                                             VersionNumber base) {
  const std::u16string name = path.u16string();
  std::unique_ptr<QvkFile> file = QvkDefaultFileSystem().OpenForRead(name.c_str());
  if (!file) return {"cannot be opened"};
  std::vector<std::string> problems = QvkVerify(file.get());
  file.reset();
  QvkArchivePtr archive(QvkOpen(name.c_str()));
  if (!archive) {
    if (problems.empty()) problems.push_back("the reader refuses to open it");
    return problems;
  }
  std::string text;
  const int read = QvkReadAll(archive.get(), u"PatchList.txt", &text);
  if (read == -2) return problems;  // a package without a manifest
  if (read != 0) {
    problems.push_back("PatchList.txt cannot be read whole");
    return problems;
  }
  ManifestRules rules;
  rules.base = base;
  rules.package = version;
  const EntryLookup not_checked = [](VersionNumber, const std::string&) { return EntryPresence::kNotChecked; };
  for (std::string& p : CheckManifest(text, rules, not_checked)) problems.push_back(std::move(p));
  return problems;
}
