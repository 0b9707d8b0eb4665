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

int VerifyCommand(const Operands& args, const Options& options) {
  if (args.empty() || args.size() > 2) return Usage();
  const std::u16string& archive_path = args[0];
  const unsigned code_page = ParseCodePage(options.Value(u"codepage", u"0"));
  if (options.Has(u"codepage") && code_page == 0) return Fail("--codepage: not a code page number");
  std::unique_ptr<QvkFile> file = QvkDefaultFileSystem().OpenForRead(archive_path.c_str());
  if (!file) return Fail(U8(archive_path) + ": cannot open");
  std::vector<std::string> problems = QvkVerify(file.get());
  file.reset();
  QvkArchivePtr archive(QvkOpen(archive_path.c_str()));
  if (!archive && problems.empty()) problems.push_back("the reader refuses to open it");

  int32_t entries = 0;
  bool has_manifest = false;
  if (archive) {
    entries = QvkLiveRecordCount(archive.get());
    std::string text;
    const int read = QvkReadAll(archive.get(), u"PatchList.txt", &text);
    has_manifest = read != -2;
    if (read == -3) problems.push_back("PatchList.txt cannot be read whole");
    if (read == 0) {
      ManifestRules rules;
      if (options.Has(u"base")) rules.base = ParseVersionText(options.Value(u"base"));
      rules.package = PackageVersionOfPath(fs::path(archive_path));
      if (code_page != 0) {
        rules.representable = [code_page](const std::string& field) {
          std::u16string wide;
          return DecodeCodePage(field, code_page, &wide);
        };
      }
      const fs::path dir = args.size() == 2 ? fs::path(args[1]) : fs::path();
      PackageShelf shelf(dir, code_page ? code_page : DefaultCodePage());
      if (rules.package) shelf.Put(*rules.package, std::move(archive));
      Progress progress("verify: records", static_cast<int64_t>(std::count(text.begin(), text.end(), '\n')));
      EntryLookup lookup = [&](VersionNumber v, const std::string& entry) {
        progress.Advance();
        if (args.size() < 2 && (!rules.package || v != *rules.package)) {
          return EntryPresence::kNotChecked;
        }
        return shelf.Find(v, entry);
      };
      for (std::string& p : CheckManifest(text, rules, lookup)) problems.push_back(std::move(p));
    }
  }
  for (const std::string& p : problems) std::printf("%s: %s\n", U8(archive_path).c_str(), p.c_str());
  if (!problems.empty()) return 1;
  std::printf("%s: ok, %ld entries%s\n", U8(archive_path).c_str(), static_cast<long>(entries),
              has_manifest ? ", PatchList.txt sound" : "");
  return 0;
}
