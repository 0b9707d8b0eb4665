// qvk_seeds DIR: writes seed corpora for the package fuzz targets, built with
// the archive writer, into DIR/fuzz_qvk_archive/ and DIR/fuzz_patch_list/.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/qvk_format.h"
#include "package/qvk_writer.h"

namespace fs = std::filesystem;

namespace {

bool WriteSeed(const fs::path& dir, const std::string& name, const std::string& bytes) {
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::string ArchiveWithOddRecords() {
  QvkMemoryFile file;
  QvkWriter writer(&file);
  const std::string list = "LINK.INI\tlink.ini\t10003\n";
  writer.AddEntry(u"PatchList.txt", list.data(), list.size());
  const int64_t data = writer.position();
  const std::string ini = "[common]\nproxy=1\n";
  writer.AddEntry(u"link.ini", ini.data(), ini.size());
  QvkRawRecord deleted;
  deleted.name = u"gone.txt";
  deleted.data_size = -1;
  deleted.name_hash = QvkNameHash(deleted.name);
  writer.AddRecord(deleted);
  QvkRawRecord shared;  // same hash as link.ini, listed but never found
  shared.name = u"LINK.INI";
  shared.data_offset = static_cast<int32_t>(data);
  shared.data_size = 4;
  shared.name_hash = QvkNameHash(u"link.ini");
  writer.AddRecord(shared);
  writer.Finish();
  return file.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: qvk_seeds DIR\n", stderr);
    return 2;
  }
  const fs::path root(argv[1]);
  const fs::path archives = root / "fuzz_qvk_archive";
  const fs::path lists = root / "fuzz_patch_list";
  std::error_code ec;
  fs::create_directories(archives, ec);
  fs::create_directories(lists, ec);

  bool ok = true;
  ok &= WriteSeed(archives, "empty.qvk", QvkBuildArchive({}));
  ok &= WriteSeed(archives, "one.qvk", QvkBuildArchive({{u"a.txt", "hello"}}));
  ok &= WriteSeed(archives, "zero_size.qvk", QvkBuildArchive({{u"empty.dat", ""}, {u"x", "x"}}));
  ok &= WriteSeed(archives, "tree.qvk",
                  QvkBuildArchive({{u"System/game.exe", std::string(300, 'M')},
                                   {u"gamedata/BaseData/GraphicsLevel.ini", "[Level]\n3=1\n"},
                                   {u"data/sub12/dir345/file_012345.dat", std::string(40, '\0')}}));
  ok &= WriteSeed(archives, "odd_records.qvk", ArchiveWithOddRecords());
  // The installation's three kinds of archive, as the demo builds them.
  ok &= WriteSeed(archives, "base_system.qvk",
                  QvkBuildArchive({{u"link.ini", "[common]\r\nproxy=http://127.0.0.1/Proxy.ini\r\n"
                                                 "pqxenc=http://127.0.0.1/pqx_enc.ini\r\n"
                                                 "pqxbsid=http://127.0.0.1/pqx_bsid.xml\r\n"}}));
  ok &= WriteSeed(archives, "base_gamedata.qvk",
                  QvkBuildArchive({{u"BaseData/GraphicsLevel.ini",
                                    std::string("\xFF\xFEG\0L\0\r\0\n\0w\0i\0n\0e\0\t\0" "2\0\r\0\n\0", 26)}}));
  ok &= WriteSeed(archives, "patch_package.qvk",
                  QvkBuildArchive({{u"PatchList.txt", "GAME.EXE\tGame.exe\t12004\r\nLINK.INI\tlink.ini\t12004\r\n"},
                                   {u"Game.exe", "MZ" + std::string(200, '\x90')},
                                   {u"link.ini", "[common]\r\nproxy=\r\n"}}));
  // Names outside ASCII, and an entry long enough for many uneven reads.
  ok &= WriteSeed(archives, "wide_names.qvk",
                  QvkBuildArchive({{u"\u7CFB\u7EDF/\u914D\u7F6E.ini", "[a]\r\n"},
                                   {u"Data/Caf\u00E9.dat", std::string(3000, '\x5A')}}));

  const std::vector<std::pair<std::string, std::string>> list_seeds = {
      {"empty.txt", ""},
      {"two.txt", "LINK.INI\tlink.ini\t10003\nGAME.EXE\tSystem/game.exe\t10002\n"},
      {"crlf_blank.txt", "A\ta.txt\t1\r\n\r\n\r\nB\tb.txt\t-2 comment\r\n"},
      {"blanks.txt", "link.ini link.ini +10001\n  \n\tX\ty\t10001\n"},
      {"bad_version.txt", "A\ta\tx\n"},
      {"two_fields.txt", "A\ta\t1\nB\tb\n"},
  };
  for (const auto& [name, text] : list_seeds) {
    ok &= WriteSeed(lists, name, std::string(1, '\0') + text);  // first byte: window mode
    ok &= WriteSeed(lists, "w_" + name, std::string(1, '\1') + text);  // worker mode
  }
  if (!ok) {
    std::fprintf(stderr, "qvk_seeds: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
