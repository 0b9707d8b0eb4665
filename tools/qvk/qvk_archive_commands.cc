// qvk create, list, extract, cat: building and reading single archives.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "package/entry_names.h"
#include "package/qvk_archive.h"
#include "package/qvk_file.h"
#include "qvk/qvk_commands.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

namespace {

std::string Hash8(uint32_t hash) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hash));
  return text;
}

// Extracts every entry of `archive` under `dir` by the safe-name rules; checks
// all names before writing anything.
int ExtractAll(const std::u16string& archive_path, const fs::path& dir) {
  int status = 0;
  QvkArchivePtr archive = OpenArchive(archive_path, &status);
  if (!archive) return status;
  const QvkRecord* records = QvkLiveRecords(archive.get());
  const int32_t count = QvkLiveRecordCount(archive.get());

  std::vector<std::u16string> names;
  std::vector<std::u16string> targets;
  for (int32_t i = 0; i < count; ++i) {
    const std::u16string name(records[i].name, static_cast<size_t>(records[i].name_length));
    std::string why;
    const std::optional<std::u16string> safe = SafeExtractPath(name, &why);
    if (!safe) {
      return Fail(U8(archive_path) + ": entry \"" + EscapeNameForLine(name) +
                  "\" cannot be extracted safely: " + why + "; nothing was extracted");
    }
    names.push_back(name);
    targets.push_back(*safe);
  }
  // Two entries one file (case-insensitive systems) or a shared hash: refuse.
  std::vector<ArchiveInput> as_inputs;
  for (const std::u16string& t : targets) as_inputs.push_back({t, {}, false, {}});
  std::string error;
  if (!CheckNamesDistinct(as_inputs, &error)) {
    return Fail(U8(archive_path) + ": " + error + "; nothing was extracted");
  }
  std::set<std::u16string> folded_files;
  for (const std::u16string& t : targets) folded_files.insert(FoldEntryName(t));
  for (const std::u16string& t : targets) {
    for (size_t slash = t.find(u'/'); slash != std::u16string::npos; slash = t.find(u'/', slash + 1)) {
      if (folded_files.count(FoldEntryName(t.substr(0, slash)))) {
        return Fail(U8(archive_path) + ": \"" + EscapeNameForLine(t.substr(0, slash)) +
                    "\" is both a file and a folder of \"" + EscapeNameForLine(t) +
                    "\"; nothing was extracted");
      }
    }
  }

  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) return Fail(PathText(dir) + ": cannot create the folder");
  Progress progress("extract", count);
  for (size_t i = 0; i < targets.size(); ++i) {
    // Never follow a link that lies inside DIR: it could lead outside.
    fs::path target = dir;
    const std::u16string& rel = targets[i];
    size_t start = 0;
    while (true) {
      const size_t slash = rel.find(u'/', start);
      target /= fs::path(rel.substr(start, slash == std::u16string::npos ? slash : slash - start));
      if (fs::is_symlink(fs::symlink_status(target, ec))) {
        return Fail(PathText(target) + ": is a symbolic link; refusing to write through it");
      }
      if (slash == std::u16string::npos) break;
      fs::create_directory(target, ec);
      if (!fs::is_directory(target, ec)) return Fail(PathText(target) + ": cannot create the folder");
      start = slash + 1;
    }
    fs::path temp = target;
    temp += ".tmp";
    const int result = QvkExtract(archive.get(), names[i].c_str(), temp.u16string().c_str());
    if (result != 0) {
      fs::remove(temp, ec);
      return Fail(PathText(target) + ": cannot extract (status " + std::to_string(result) +
                  ": a read, write or close failed)");
    }
    fs::rename(temp, target, ec);
    if (ec) {
      fs::remove(temp, ec);
      return Fail(PathText(target) + ": cannot replace: " + ec.message());
    }
    progress.Advance();
  }
  std::printf("%s: %zu entries extracted\n", PathText(dir).c_str(), targets.size());
  return 0;
}

int ExtractOne(const std::u16string& archive_path, const std::u16string& entry,
               const std::u16string& out_path) {
  int status = 0;
  QvkArchivePtr archive = OpenArchive(archive_path, &status);
  if (!archive) return status;
  switch (QvkExtract(archive.get(), entry.c_str(), out_path.c_str())) {
    case 0:
      return 0;
    case -2:
      return Fail(U8(entry) + ": no such entry, or reading it failed");
    case -3:
      return Fail(U8(out_path) + ": cannot create or write");
    case -4:
      return Fail(U8(out_path) + ": short write (disk full?)");
    default:
      return Fail(U8(out_path) + ": cannot close");
  }
}

}  // namespace

int CreateCommand(const Operands& args, const Options&) {
  if (args.size() != 2) return Usage();
  const fs::path archive(args[0]);
  const fs::path dir(args[1]);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail(PathText(dir) + ": not a directory");
  const fs::path archive_abs = fs::weakly_canonical(archive, ec);
  fs::path temp_abs = archive_abs;
  temp_abs += ".tmp";

  std::vector<ArchiveInput> inputs;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const fs::path canonical = fs::weakly_canonical(it->path(), ec);
    if (canonical == archive_abs || canonical == temp_abs) continue;  // the archive itself
    ArchiveInput input;
    std::string shown;
    if (!EntryNameOfPath(it->path().lexically_relative(dir), &input.name, &shown)) {
      return Fail(PathText(dir) + "/" + shown +
                  ": the file name is not valid Unicode (not UTF-8); entry names are Unicode,"
                  " rename the file");
    }
    input.source = it->path();
    inputs.push_back(std::move(input));
  }
  if (ec) return Fail(PathText(dir) + ": cannot list: " + ec.message());
  std::sort(inputs.begin(), inputs.end(),
            [](const ArchiveInput& a, const ArchiveInput& b) { return a.name < b.name; });
  std::string error;
  if (!CheckNamesDistinct(inputs, &error)) return Fail(PathText(dir) + ": " + error);
  Progress progress("create", static_cast<int64_t>(inputs.size()));
  if (!WriteArchiveReplacing(archive, inputs, &progress, &error)) return Fail(error);
  std::printf("%s: %zu entries\n", PathText(archive).c_str(), inputs.size());
  return 0;
}

int ListCommand(const Operands& args, const Options& options) {
  if (args.size() != 1) return Usage();
  int status = 0;
  QvkArchivePtr archive = OpenArchive(args[0], &status);
  if (!archive) return status;
  const QvkRecord* records = QvkLiveRecords(archive.get());
  const int32_t count = QvkLiveRecordCount(archive.get());
  const bool json = options.Has(u"json");
  if (json) std::printf("{\"archive\": %s, \"entries\": [", JsonString(args[0]).c_str());
  for (int32_t i = 0; i < count; ++i) {
    const std::u16string name(records[i].name, static_cast<size_t>(records[i].name_length));
    if (json) {
      std::printf("%s\n  {\"name\": %s, \"size\": %ld, \"hash\": \"%s\"}", i ? "," : "",
                  JsonString(name).c_str(), static_cast<long>(records[i].data_size),
                  Hash8(records[i].name_hash).c_str());
    } else {
      std::printf("%s\t%ld\t%s\n", EscapeNameForLine(name).c_str(),
                  static_cast<long>(records[i].data_size), Hash8(records[i].name_hash).c_str());
    }
  }
  if (json) std::printf("%s]}\n", count ? "\n" : "");
  return 0;
}

int ExtractCommand(const Operands& args, const Options&) {
  if (args.size() == 2) return ExtractAll(args[0], fs::path(args[1]));
  if (args.size() == 3) return ExtractOne(args[0], args[1], args[2]);
  return Usage();
}

int CatCommand(const Operands& args, const Options&) {
  if (args.size() != 2) return Usage();
  int status = 0;
  QvkArchivePtr archive = OpenArchive(args[0], &status);
  if (!archive) return status;
  const std::u16string& name = args[1];
  const QvkEntryPtr entry(QvkOpenEntry(archive.get(), name.c_str()));
  if (!entry) return Fail(U8(name) + ": no such entry");
  SetBinaryStandardOutput();
  char buffer[16384];
  int32_t remaining = QvkEntrySize(entry.get());
  while (remaining > 0 && status == 0) {
    const int32_t chunk = std::min<int32_t>(remaining, sizeof buffer);
    if (QvkRead(entry.get(), buffer, chunk) != chunk) {
      status = Fail(U8(name) + ": read failed");
    } else if (std::fwrite(buffer, 1, static_cast<size_t>(chunk), stdout) !=
               static_cast<size_t>(chunk)) {
      status = Fail("cannot write to standard output");
    }
    remaining -= chunk;
  }
  if (status == 0 && std::fflush(stdout) != 0) status = Fail("cannot write to standard output");
  return status;
}
