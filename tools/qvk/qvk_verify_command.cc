// qvk verify: the whole archive, and the manifest it carries.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "package/manifest_check.h"
#include "package/qvk_verify.h"
#include "qvk/qvk_commands.h"
#include "qvk/qvk_manifest_io.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

VerifyResult VerifyPackageFile(const std::u16string& archive_path, const fs::path* package_dir,
                               std::optional<VersionNumber> base, unsigned code_page) {
  VerifyResult result;
  std::vector<std::string>& problems = result.problems;
  std::unique_ptr<QvkFile> file = QvkDefaultFileSystem().OpenForRead(archive_path.c_str());
  if (!file) return result;
  result.opened = true;
  problems = QvkVerify(file.get());
  file.reset();
  QvkArchivePtr archive(QvkOpen(archive_path.c_str()));
  if (!archive && problems.empty()) problems.push_back("the reader refuses to open it");
  if (!archive) return result;

  result.entries = QvkLiveRecordCount(archive.get());
  std::string text;
  const int read = QvkReadAll(archive.get(), u"PatchList.txt", &text);
  result.has_manifest = read != -2;
  if (read == -3) problems.push_back("PatchList.txt cannot be read whole");
  if (read != 0) return result;
  ManifestRules rules;
  if (base) rules.base = *base;
  rules.package = PackageVersionOfPath(fs::path(archive_path));
  if (code_page != 0) {
    rules.representable = [code_page](const std::string& field) {
      std::u16string wide;
      return DecodeCodePage(field, code_page, &wide);
    };
  }
  PackageShelf shelf(package_dir ? *package_dir : fs::path(), code_page ? code_page : DefaultCodePage());
  if (rules.package) shelf.Put(*rules.package, std::move(archive));
  Progress progress("verify: records", static_cast<int64_t>(std::count(text.begin(), text.end(), '\n')));
  EntryLookup lookup = [&](VersionNumber v, const std::string& entry) {
    progress.Advance();
    if (package_dir == nullptr && (!rules.package || v != *rules.package)) return EntryPresence::kNotChecked;
    return shelf.Find(v, entry);
  };
  for (std::string& p : CheckManifest(text, rules, lookup)) problems.push_back(std::move(p));
  return result;
}

int VerifyCommand(const Operands& args, const Options& options) {
  if (args.empty() || args.size() > 2) return Usage();
  const std::u16string& archive_path = args[0];
  const unsigned code_page = ParseCodePage(options.Value(u"codepage", u"0"));
  if (options.Has(u"codepage") && code_page == 0) return Fail("--codepage: not a code page number");
  std::optional<VersionNumber> base;
  if (options.Has(u"base")) base = ParseVersionText(options.Value(u"base"));
  const fs::path dir = args.size() == 2 ? fs::path(args[1]) : fs::path();
  const VerifyResult result = VerifyPackageFile(archive_path, args.size() == 2 ? &dir : nullptr, base, code_page);
  if (!result.opened) return Fail(U8(archive_path) + ": cannot open");
  for (const std::string& p : result.problems) std::printf("%s: %s\n", U8(archive_path).c_str(), p.c_str());
  if (!result.problems.empty()) return 1;
  std::printf("%s: ok, %ld entries%s\n", U8(archive_path).c_str(), static_cast<long>(result.entries),
              result.has_manifest ? ", PatchList.txt sound" : "");
  return 0;
}
