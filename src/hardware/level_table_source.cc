#include "hardware/level_table_source.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "hardware/graphics_level.h"
#include "package/qvk_archive.h"

namespace {

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void RemoveEvenIfReadOnly(const char* path) {
  std::error_code error;
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove(path, error);
}

}  // namespace

LevelTable LoadPackagedLevelTable(uint32_t patch_version, uint32_t base_version) {
  const LevelTableSource source = SelectLevelTableSource(patch_version, base_version);
  if (const QvkArchivePtr archive{QvkOpen(Widen(source.archive_path).c_str())}) {
    // The result is not examined: a failed extraction leaves the path as it was.
    static_cast<void>(QvkExtract(archive.get(), Widen(source.entry_name).c_str(),
                                 Widen(kLevelTableTempPath).c_str()));
  }
  LevelTable table = LoadLevelTableFile(kLevelTableTempPath);
  RemoveEvenIfReadOnly(kLevelTableTempPath);
  return table;
}

VersionNumber LevelTablePatchVersion(const PatchListIndex& index) {
  const std::optional<PatchListEntry> found = index.Find(kLevelTableManifestKey);
  return found ? found->version : 0;
}
