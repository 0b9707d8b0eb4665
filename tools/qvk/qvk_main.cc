// qvk: the operators' tool for package archives.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "package/qvk_archive.h"
#include "package/qvk_file.h"
#include "package/qvk_verify.h"
#include "package/qvk_writer.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage: qvk COMMAND ARGUMENTS\n"
    "  qvk create ARCHIVE DIR           store every file under DIR as an entry named by\n"
    "                                   its path relative to DIR, with '/' separators\n"
    "  qvk list ARCHIVE                 print name, size and hash of every entry\n"
    "  qvk extract ARCHIVE ENTRY OUTFILE  write one entry to OUTFILE\n"
    "  qvk cat ARCHIVE ENTRY            write one entry to standard output\n"
    "  qvk verify ARCHIVE               check the whole archive; exit status 0 only when clean\n"
    "  qvk --help                       show this text\n"
    "Entry names match with a-z folded to upper case. Exit status: 0 success,\n"
    "1 failure, 2 wrong usage.\n";

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }

int Fail(const std::string& message) {
  std::fprintf(stderr, "qvk: %s\n", message.c_str());
  return 1;
}

struct ArchiveCloser {
  void operator()(QvkArchive* a) const { QvkClose(a); }
};
using ArchivePtr = std::unique_ptr<QvkArchive, ArchiveCloser>;

ArchivePtr OpenArchive(const std::u16string& path, int* status) {
  ArchivePtr archive(QvkOpen(path.c_str()));
  if (!archive) {
    *status = Fail(U8(path) + ": cannot open: missing, unreadable or not a valid package archive"
                   " (try qvk verify)");
  }
  return archive;
}

int Create(const std::u16string& archive_path, const std::u16string& dir_path) {
  const fs::path dir(dir_path);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail(U8(dir_path) + ": not a directory");
  const fs::path archive_abs = fs::weakly_canonical(fs::path(archive_path), ec);

  std::vector<std::pair<std::u16string, fs::path>> files;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (fs::weakly_canonical(it->path(), ec) == archive_abs) continue;  // the archive itself
    files.emplace_back(it->path().lexically_relative(dir).generic_u16string(), it->path());
  }
  if (ec) return Fail(U8(dir_path) + ": cannot list: " + ec.message());
  std::sort(files.begin(), files.end());

  std::unique_ptr<QvkFile> out = QvkDefaultFileSystem().Create(archive_path.c_str());
  if (!out) return Fail(U8(archive_path) + ": cannot create");
  QvkWriter writer(out.get());
  std::string error;
  for (const auto& [name, path] : files) {
    std::unique_ptr<QvkFile> in = QvkDefaultFileSystem().OpenForRead(path.u16string().c_str());
    if (!in) {
      error = U8(path.u16string()) + ": cannot read";
      break;
    }
    if (!writer.AddEntryFrom(name, in.get())) {
      error = U8(name) + ": cannot store (name over 32767 characters, archive over 2 GiB,"
                         " or a write failed)";
      break;
    }
  }
  if (error.empty() && !writer.Finish()) error = U8(archive_path) + ": cannot write the directory";
  if (!out->Close() && error.empty()) error = U8(archive_path) + ": cannot close";
  if (!error.empty()) {
    fs::remove(fs::path(archive_path), ec);
    return Fail(error);
  }
  std::printf("%s: %zu entries\n", U8(archive_path).c_str(), files.size());
  return 0;
}

int List(const std::u16string& archive_path) {
  int status = 0;
  ArchivePtr archive = OpenArchive(archive_path, &status);
  if (!archive) return status;
  const QvkRecord* records = QvkLiveRecords(archive.get());
  for (int32_t i = 0; i < QvkLiveRecordCount(archive.get()); ++i) {
    std::printf("%s\t%ld\t%08X\n", U8(records[i].name).c_str(),
                static_cast<long>(records[i].data_size), static_cast<unsigned>(records[i].name_hash));
  }
  return 0;
}

int Extract(const std::u16string& archive_path, const std::u16string& entry,
            const std::u16string& out_path) {
  int status = 0;
  ArchivePtr archive = OpenArchive(archive_path, &status);
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

int Cat(const std::u16string& archive_path, const std::u16string& name) {
  int status = 0;
  ArchivePtr archive = OpenArchive(archive_path, &status);
  if (!archive) return status;
  QvkEntry* entry = QvkOpenEntry(archive.get(), name.c_str());
  if (entry == nullptr) return Fail(U8(name) + ": no such entry");
  SetBinaryStandardOutput();
  char buffer[16384];
  int32_t remaining = QvkEntrySize(entry);
  while (remaining > 0 && status == 0) {
    const int32_t chunk = std::min<int32_t>(remaining, sizeof buffer);
    if (QvkRead(entry, buffer, chunk) != chunk) {
      status = Fail(U8(name) + ": read failed");
    } else if (std::fwrite(buffer, 1, static_cast<size_t>(chunk), stdout) !=
               static_cast<size_t>(chunk)) {
      status = Fail("cannot write to standard output");
    }
    remaining -= chunk;
  }
  QvkCloseEntry(entry);
  if (status == 0 && std::fflush(stdout) != 0) status = Fail("cannot write to standard output");
  return status;
}

int Verify(const std::u16string& archive_path) {
  std::unique_ptr<QvkFile> file = QvkDefaultFileSystem().OpenForRead(archive_path.c_str());
  if (!file) return Fail(U8(archive_path) + ": cannot open");
  const std::vector<std::string> problems = QvkVerify(file.get());
  file.reset();
  for (const std::string& p : problems) std::printf("%s: %s\n", U8(archive_path).c_str(), p.c_str());
  ArchivePtr archive(QvkOpen(archive_path.c_str()));
  if (!archive && problems.empty()) {
    std::printf("%s: the reader refuses to open it\n", U8(archive_path).c_str());
  }
  if (!problems.empty() || !archive) return 1;
  std::printf("%s: ok, %ld entries\n", U8(archive_path).c_str(),
              static_cast<long>(QvkLiveRecordCount(archive.get())));
  return 0;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  InstallPlatformFiles();
  const std::vector<std::u16string> args = CommandLineArguments(argc, argv);
  if (args.empty()) return Usage();
  const std::u16string& command = args[0];
  if (command == u"--help" || command == u"-h" || command == u"help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  const size_t n = args.size() - 1;
  if (command == u"create" && n == 2) return Create(args[1], args[2]);
  if (command == u"list" && n == 1) return List(args[1]);
  if (command == u"extract" && n == 3) return Extract(args[1], args[2], args[3]);
  if (command == u"cat" && n == 2) return Cat(args[1], args[2]);
  if (command == u"verify" && n == 1) return Verify(args[1]);
  std::fprintf(stderr, "qvk: unknown command or wrong number of arguments: %s\n",
               U8(command).c_str());
  return Usage();
}
