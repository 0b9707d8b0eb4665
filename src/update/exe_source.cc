#include "update/exe_source.h"

ExeSource ChooseExeSource(const PatchListIndex& index, const std::string& key, VersionNumber base) {
  ExeSource source;
  const auto found = index.find(key);
  if (found == index.end()) return source;
  source.in_manifest = true;
  source.version = found->second.version;
  source.from_package = HeldInPatchPackage(source.version, base);
  return source;
}
