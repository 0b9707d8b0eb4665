#include "update/package_check.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_set>

#include "base/text.h"

namespace {

void AppendMissing(PackageCheckResult& result, const std::string& dotted) {
  std::string piece = result.missing_text.empty() ? dotted : ", " + dotted;
  if (result.missing_text.size() + piece.size() <= kMissingTextMax) result.missing_text += piece;
}

}  // namespace

PackageExists ListedPackages(const std::vector<std::u16string>& file_names) {
  auto folded = std::make_shared<std::unordered_set<std::u16string>>();
  for (const std::u16string& name : file_names) folded->insert(AsciiLower(name));
  return [folded](VersionNumber v) {
    const std::string path = PatchPackagePath(v);
    const std::string name = path.substr(path.rfind('/') + 1);
    return folded->count(AsciiLower(std::u16string(name.begin(), name.end()))) != 0;
  };
}

PackageCheckResult JudgeCurrentPackage(VersionNumber current, VersionNumber base,
                                       const PackageExists& exists) {
  PackageCheckResult result;
  if (current <= base) return result;
  if (exists(current)) return result;
  std::optional<VersionParts> parts = SplitVersion(current);
  if (!parts) return result;
  result.missing = true;
  AppendMissing(result, DottedForm(*parts));
  result.rewind = RewindText(current, true);
  return result;
}

PackageCheckResult JudgeManifestPackages(const std::vector<VersionNumber>& versions,
                                         VersionNumber base, const PackageExists& exists) {
  PackageCheckResult result;
  for (VersionNumber v : versions) {
    if (v <= base || exists(v)) continue;
    std::optional<VersionParts> parts = SplitVersion(v);
    if (!parts) continue;
    if (!result.missing) result.rewind = RewindText(v, false);
    AppendMissing(result, DottedForm(*parts));
    result.missing = true;
  }
  return result;
}

std::optional<VersionNumber> PatchPackageNumber(std::u16string_view file_name) {
  static constexpr std::u16string_view kPrefix = u"Verpatch";
  if (file_name.find(u".qvk") == std::u16string_view::npos) return std::nullopt;
  if (file_name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  size_t i = kPrefix.size();
  if (i >= file_name.size() || file_name[i] < u'0' || file_name[i] > u'9') return std::nullopt;
  uint64_t n = 0;
  for (; i < file_name.size() && file_name[i] >= u'0' && file_name[i] <= u'9'; ++i) {
    n = std::min<uint64_t>(n * 10 + (file_name[i] - u'0'), UINT32_MAX);
  }
  return static_cast<VersionNumber>(n);
}

bool IsStalePackage(VersionNumber n, const std::vector<VersionNumber>& versions,
                    VersionNumber base, VersionNumber current) {
  if (n <= base) return true;
  if (std::find(versions.begin(), versions.end(), n) != versions.end()) return false;
  return n < current;
}

std::vector<std::u16string> StalePackages(const std::vector<std::u16string>& file_names,
                                          const std::vector<VersionNumber>& versions,
                                          VersionNumber base, VersionNumber current) {
  std::vector<std::u16string> stale;
  for (const std::u16string& name : file_names) {
    std::optional<VersionNumber> n = PatchPackageNumber(name);
    if (n && IsStalePackage(*n, versions, base, current)) stale.push_back(name);
  }
  return stale;
}
