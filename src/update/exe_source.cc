#include "update/exe_source.h"

ExeSource ChooseExeSource(const PatchListIndex& index, const std::string& key, VersionNumber base) {
  ExeSource source;
  const std::optional<PatchListEntry> found = index.Find(key);
  if (!found) return source;
  source.in_manifest = true;
  source.version = found->version;
  source.from_package = HeldInPatchPackage(source.version, base);
  return source;
}
