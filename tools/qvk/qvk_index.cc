// qvk index: the release index of a folder of packages, "packages.txt".
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "package/patch_list.h"
#include "package/release_index.h"
#include "qvk/qvk_commands.h"
#include "update/package_check.h"

namespace fs = std::filesystem;

namespace {

// The versions the package's manifest names, as the launcher's worker reads them.
bool ManifestVersions(const fs::path& package, std::vector<int32_t>* versions) {
  QvkArchivePtr archive(QvkOpen(package.u16string().c_str()));
  std::string text;
  PatchListIndex index;
  return archive && QvkReadAll(archive.get(), u"PatchList.txt", &text) == 0 &&
         ParsePatchList(std::move(text), PatchListMode::kWorker, &index, versions);
}

}  // namespace

int IndexCommand(const Operands& args, const Options& options) {
  if (args.size() != 1 || !options.Has(u"serial") || !options.Has(u"base")) return Usage();
  const fs::path dir(args[0]);
  ReleaseIndex index;
  const std::string serial = U8(options.Value(u"serial"));
  if (serial.empty() || serial.size() > 18 || serial.find_first_not_of("0123456789") != std::string::npos) {
    return Fail("--serial: not a decimal number");
  }
  index.serial = std::stoull(serial);
  index.base = ParseVersionText(options.Value(u"base"));
  if (index.base == 0 || IndexVersionText(index.base) != U8(options.Value(u"base"))) {
    return Fail("--base: not a version M.m.b");
  }
  if (options.Has(u"expires")) {
    const std::string expires = U8(options.Value(u"expires"));
    if (!expires.empty() && expires.size() <= 5 && expires.find_first_not_of("0123456789") == std::string::npos &&
        std::stoi(expires) > 0) {
      index.expires = static_cast<int64_t>(std::time(nullptr)) + int64_t{86400} * std::stoi(expires);
    } else if (!ParseUtcTime(expires, &index.expires)) {
      return Fail("--expires: neither a number of days (1 to 99999) nor a time YYYY-MM-DDTHH:MM:SSZ");
    }
    if (index.expires <= static_cast<int64_t>(std::time(nullptr))) {
      return Fail("--expires=" + expires + ": already past; every player would refuse the index");
    }
  }
  for (const auto& [name, value] : options.values) {
    if (name == u"mirror") index.mirrors.push_back(U8(value));
  }

  // The index only grows: a serial at or below the published one would be
  // refused by every player who has seen that one.
  const fs::path out = dir / "packages.txt";
  std::error_code ec;
  if (fs::exists(out, ec)) {
    std::ifstream in(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ReleaseIndex previous;
    std::string error;
    if (!ParseReleaseIndex(text, &previous, &error)) {
      return Fail(PathText(out) + " is not a release index (" + error +
                  "): its serial cannot be checked; move it away first");
    }
    if (index.serial <= previous.serial) {
      return Fail(PathText(out) + " has serial " + std::to_string(previous.serial) +
                  ": --serial must be above it");
    }
  }

  std::vector<std::pair<VersionNumber, fs::path>> files;  // by version
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<VersionNumber> v = PatchPackageNumber(it->path().filename().u16string());
    if (!v || it->path().filename() != "Verpatch" + FiveDigitForm(*v) + ".qvk") continue;
    if (ParseVersionText(IndexVersionText(*v)) != *v) {
      return Fail(PathText(it->path().filename()) + ": its number is no version M.m.b");
    }
    files.emplace_back(*v, it->path());
  }
  if (ec) return Fail(PathText(dir) + ": cannot be listed");
  if (files.empty()) return Fail(PathText(dir) + ": no package Verpatch<n>.qvk");
  std::sort(files.begin(), files.end());
  for (const auto& [version, file] : files) {
    const std::string name = PathText(file.filename());
    IndexedPackage p;
    p.version = version;
    p.file_name = name;
    if (!HeldInPatchPackage(p.version, index.base)) {
      return Fail(name + ": not above the base version " + IndexVersionText(index.base));
    }
    const VerifyResult verified = VerifyPackageFile(file.u16string(), &dir, index.base, 0);
    if (!verified.opened) return Fail(name + ": cannot open");
    for (const std::string& problem : verified.problems) Warn(name + ": " + problem);
    if (!verified.problems.empty()) return Fail(name + ": does not verify; nothing written");
    if (!HashFile(file, &p.size, &p.sha256)) return Fail(name + ": cannot be read");
    index.packages.push_back(std::move(p));
  }
  index.latest = index.packages.back().version;
  std::vector<int32_t> versions;
  if (!ManifestVersions(files.back().second, &versions)) {
    return Fail(index.packages.back().file_name + ": no PatchList.txt the launcher reads");
  }
  index.needs = NeededPackages(index.latest, versions, index.base);

  // Read back before it is written: what players will parse.
  const std::string text = FormatReleaseIndex(index);
  ReleaseIndex check;
  std::string error;
  if (!ParseReleaseIndex(text, &check, &error)) return Fail("the index would be refused: " + error);
  const fs::path tmp = dir / "packages.txt.tmp";
  {
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    o.write(text.data(), static_cast<std::streamsize>(text.size()));
    o.close();
    if (!o) {
      fs::remove(tmp, ec);
      return Fail(PathText(tmp) + ": cannot be written");
    }
  }
  fs::rename(tmp, out, ec);
  if (ec) {
    fs::remove(tmp, ec);
    return Fail(PathText(out) + ": cannot be replaced");
  }
  std::printf("%s: serial %s, latest %s needs %zu of %zu packages\n", PathText(out).c_str(), serial.c_str(),
              IndexVersionText(index.latest).c_str(), index.needs.size(), index.packages.size());
  return 0;
}
