// qvk patch: a release's patch package from the previous release's tree and
// the new one, with the cumulative manifest carried forward from the
// previous release's package.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "base/text.h"
#include "base/version.h"
#include "package/entry_names.h"
#include "package/manifest_check.h"
#include "package/patch_manifest.h"
#include "package/qvk_archive.h"
#include "package/qvk_file.h"
#include "qvk/qvk_commands.h"
#include "qvk/qvk_manifest_io.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

namespace {

struct TreeFile {
  std::u16string name;
  fs::path path;
  int64_t size = 0;
};

// Every regular file under `root`, keyed by its entry name with a-z folded.
bool ReadTree(const fs::path& root, std::map<std::u16string, TreeFile>* files, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) {
    *error = PathText(root) + ": not a directory";
    return false;
  }
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    TreeFile file;
    std::string shown;
    if (!EntryNameOfPath(it->path().lexically_relative(root), &file.name, &shown)) {
      *error = PathText(root) + "/" + shown + ": the file name is not valid Unicode (not UTF-8)";
      return false;
    }
    file.path = it->path();
    file.size = static_cast<int64_t>(it->file_size(ec));
    const std::u16string folded = FoldEntryName(file.name);
    const auto [seen, added] = files->emplace(folded, file);
    if (!added) {
      *error = PathText(root) + ": \"" + EscapeNameForLine(seen->second.name) + "\" and \"" +
               EscapeNameForLine(file.name) + "\" collide: same name up to the case of a-z";
      return false;
    }
  }
  if (ec) {
    *error = PathText(root) + ": cannot list: " + ec.message();
    return false;
  }
  return true;
}

// Two read buffers, allocated once.
struct CompareBuffers {
  static constexpr size_t kChunk = 1 << 20;
  std::vector<char> a = std::vector<char>(kChunk);
  std::vector<char> b = std::vector<char>(kChunk);
};

// Whether two files hold the same bytes; false with `error` when one cannot be read.
bool SameContent(const TreeFile& a, const TreeFile& b, CompareBuffers* buffers, bool* same,
                 std::string* error) {
  *same = false;
  if (a.size != b.size) return true;
  std::unique_ptr<QvkFile> fa = QvkDefaultFileSystem().OpenForRead(a.path.u16string().c_str());
  std::unique_ptr<QvkFile> fb = QvkDefaultFileSystem().OpenForRead(b.path.u16string().c_str());
  if (!fa || !fb) {
    *error = PathText(!fa ? a.path : b.path) + ": cannot read";
    return false;
  }
  int64_t left = a.size;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, CompareBuffers::kChunk));
    if (fa->Read(buffers->a.data(), want) != want || fb->Read(buffers->b.data(), want) != want) {
      *error = PathText(a.path) + " or " + PathText(b.path) + ": short read";
      return false;
    }
    if (std::memcmp(buffers->a.data(), buffers->b.data(), want) != 0) return true;
    left -= static_cast<int64_t>(want);
  }
  *same = true;
  return true;
}

// The version text as an operator wrote it, refused when a rewind could not
// write it back ("1.2.3456" would read back as another number).
bool ParseReleaseVersion(const std::u16string& text, const char* option, VersionNumber* v,
                         std::string* error) {
  *v = ParseVersionText(std::u16string_view(text));
  const std::optional<VersionParts> parts = SplitVersion(*v);
  if (text.empty() || !parts || ParseVersionText(DottedForm(*parts)) != *v) {
    *error = std::string(option) + "=" + U8(text) + ": not a version M.m.b (M and m 0-9, b 0-999)";
    return false;
  }
  return true;
}

}  // namespace

int PatchCommand(const Operands& args, const Options& options) {
  if (args.size() != 3 || !options.Has(u"version") || !options.Has(u"base")) return Usage();
  const fs::path old_root(args[0]), new_root(args[1]), package_dir(args[2]);
  std::string error;
  VersionNumber version = 0, base = 0;
  if (!ParseReleaseVersion(options.Value(u"version"), "--version", &version, &error) ||
      !ParseReleaseVersion(options.Value(u"base"), "--base", &base, &error)) {
    return Fail(error);
  }
  if (version <= base) {
    return Fail("--version " + FiveDigitForm(version) + " is not above --base " + FiveDigitForm(base));
  }
  unsigned code_page = 0;  // 0: ASCII names only, the same bytes in every code page
  if (options.Has(u"codepage")) {
    code_page = ParseCodePage(options.Value(u"codepage"));
    std::string probe;
    if (code_page == 0 || !EncodeCodePage(u"a", code_page, &probe)) {
      return Fail("--codepage=" + U8(options.Value(u"codepage")) + ": unknown code page");
    }
  }

  std::error_code ec;
  if (!fs::is_directory(package_dir, ec)) return Fail(PathText(package_dir) + ": not a directory");
  PackageShelf shelf(package_dir, code_page ? code_page : 1252);
  const fs::path out_path = shelf.PathOf(version);
  if (fs::exists(out_path, ec)) {
    return Fail(PathText(out_path) + ": already exists; a shipped package is never rebuilt in place"
                " (remove it first if it was never shipped)");
  }

  // The previous release's manifest: the newest package above the base.
  std::optional<VersionNumber> previous;
  for (fs::directory_iterator it(package_dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<VersionNumber> n = PackageVersionOfPath(it->path());
    if (!n || !HeldInPatchPackage(*n, base)) continue;
    if (*n > version) {
      return Fail(PathText(it->path()) + ": a package newer than --version " +
                  FiveDigitForm(version) + " is already there");
    }
    if (!previous || *n > *previous) previous = *n;
  }
  if (previous && options.Has(u"first")) {
    return Fail("--first, but " + PathText(shelf.PathOf(*previous)) + " is above the base");
  }
  if (!previous && !options.Has(u"first")) {
    return Fail(PathText(package_dir) + ": no patch package above the base " + FiveDigitForm(base) +
                " to carry the manifest forward from; pass --first if this is the first patch");
  }
  PatchManifestInput input;
  input.version = version;
  input.base = base;
  input.game_exe = options.Value(u"game-exe");
  input.allow_removals = options.Has(u"allow-removals");
  input.encode = [code_page](std::u16string_view text, std::string* out) {
    if (code_page != 0) return EncodeCodePage(text, code_page, out);
    out->clear();
    for (char16_t c : text) {
      if (c >= 0x80) return false;
      out->push_back(static_cast<char>(c));
    }
    return true;
  };
  if (previous) {
    QvkArchive* archive = shelf.Get(*previous);
    std::string text;
    if (!archive || QvkReadAll(archive, u"PatchList.txt", &text) != 0) {
      return Fail(PathText(shelf.PathOf(*previous)) + ": cannot read its PatchList.txt");
    }
    ManifestRules rules;
    rules.base = base;
    rules.package = *previous;
    const std::vector<std::string> problems = CheckManifest(
        text, rules, [&](VersionNumber v, const std::string& e) { return shelf.Find(v, e); });
    if (!problems.empty()) {
      return Fail(PathText(shelf.PathOf(*previous)) + ": " + problems.front() +
                  (problems.size() > 1 ? " (and " + std::to_string(problems.size() - 1) + " more;"
                                         " see qvk verify)" : ""));
    }
    if (!ReadManifestRecords(text, &input.previous, &error)) {
      return Fail(PathText(shelf.PathOf(*previous)) + ": PatchList.txt " + error);
    }
  }

  std::map<std::u16string, TreeFile> old_files, new_files;
  if (!ReadTree(old_root, &old_files, &error) || !ReadTree(new_root, &new_files, &error)) {
    return Fail(error);
  }
  // OLD must be the tree of the release whose manifest is carried forward:
  // every file that manifest names lies in it.
  for (const ManifestRecord& r : input.previous) {
    std::u16string entry;
    if (!DecodeCodePage(r.entry_name, code_page ? code_page : 1252, &entry) ||
        !old_files.count(FoldEntryName(entry))) {
      return Fail(PathText(old_root) + ": lacks \"" + r.entry_name + "\", which the manifest of " +
                  FiveDigitForm(*previous) + " names; is it the tree of that release?");
    }
  }
  std::vector<ArchiveInput> inputs;
  size_t added = 0, changed = 0;
  bool exe_changed = false;
  {
    CompareBuffers buffers;
    Progress progress("patch: comparing", static_cast<int64_t>(new_files.size()));
    for (const auto& [folded, file] : new_files) {
      const auto old = old_files.find(folded);
      bool same = false;
      if (old != old_files.end() && !SameContent(old->second, file, &buffers, &same, &error)) return Fail(error);
      progress.Advance();
      if (same && old->second.name == file.name) continue;
      ++(old == old_files.end() ? added : changed);
      input.changed.push_back(file.name);
      inputs.push_back({file.name, file.path, false, {}});
      if (!input.game_exe.empty() && folded == FoldEntryName(input.game_exe)) exe_changed = true;
      if (input.game_exe.empty() && folded.size() > 4 &&
          folded.compare(folded.size() - 4, 4, u".EXE") == 0) {
        Warn(U8(file.name) + " changed: if it is the game executable, pass --game-exe=NAME (the"
             " game_exe of updatecfg.ini) so that its place in the package is checked");
      }
    }
  }
  for (const auto& [folded, file] : old_files) {
    if (!new_files.count(folded)) input.removed.push_back(file.name);
  }

  PatchManifest manifest;
  if (!BuildPatchManifest(input, &manifest, &error)) return Fail(PathText(new_root) + ": " + error);
  inputs.push_back({u"PatchList.txt", {}, true, manifest.text});
  std::sort(inputs.begin(), inputs.end(),
            [](const ArchiveInput& a, const ArchiveInput& b) { return a.name < b.name; });
  if (!CheckNamesDistinct(inputs, &error)) return Fail(PathText(new_root) + ": " + error);

  {
    Progress progress("patch: writing", static_cast<int64_t>(inputs.size()));
    if (!WriteArchiveReplacing(out_path, inputs, &progress, &error)) return Fail(error);
  }
  // What players' launchers will read: check it before anyone ships it.
  ManifestRules rules;
  rules.base = base;
  rules.package = version;
  PackageShelf check_shelf(package_dir, code_page ? code_page : 1252);
  const std::vector<std::string> problems = CheckManifest(
      manifest.text, rules, [&](VersionNumber v, const std::string& e) { return check_shelf.Find(v, e); });
  if (!problems.empty()) {
    fs::remove(out_path, ec);
    return Fail(PathText(out_path) + ": the new package fails its check, removed: " + problems.front());
  }

  for (const std::string& note : manifest.notes) std::printf("note: %s\n", note.c_str());
  if (exe_changed) {
    std::printf("note: the game executable %s changed; players' launchers take it from this"
                " package at their next start\n", U8(input.game_exe).c_str());
  }
  const size_t records =
      static_cast<size_t>(std::count(manifest.text.begin(), manifest.text.end(), '\n'));
  std::printf("%s: %zu changed, %zu added, %zu removed; PatchList.txt with %zu records%s\n",
              PathText(out_path).c_str(), changed, added, input.removed.size(), records,
              previous ? (" (carried forward from " + FiveDigitForm(*previous) + ")").c_str() : "");
  return 0;
}
