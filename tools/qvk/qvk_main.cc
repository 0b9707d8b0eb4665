// qvk: the operators' tool for package archives and releases.
#include <cstdio>
#include <string>
#include <vector>

#include "qvk/qvk_commands.h"
#include "qvk/qvk_platform.h"

namespace {

constexpr char kUsage[] =
    "usage: qvk COMMAND ARGUMENTS\n"
    "  qvk create ARCHIVE DIR           store every file under DIR as an entry named by\n"
    "                                   its path relative to DIR, with '/' separators\n"
    "  qvk list [--json] ARCHIVE        print name, size and hash of every entry\n"
    "  qvk extract ARCHIVE DIR          write every entry under DIR (names made safe)\n"
    "  qvk extract ARCHIVE ENTRY OUTFILE  write one entry to OUTFILE\n"
    "  qvk cat ARCHIVE ENTRY            write one entry to standard output\n"
    "  qvk verify ARCHIVE [PACKAGE_DIR] [--base=VERSION] [--codepage=CP]\n"
    "                                   check the whole archive and its PatchList.txt;\n"
    "                                   exit status 0 only when clean\n"
    "  qvk patch OLD_TREE NEW_TREE PACKAGE_DIR --version=VERSION --base=VERSION\n"
    "            [--game-exe=NAME] [--codepage=CP] [--first] [--allow-removals]\n"
    "                                   build PACKAGE_DIR/Verpatch<version>.qvk with its\n"
    "                                   cumulative PatchList.txt\n"
    "  qvk check [--json] [--codepage=CP] [--required=VERSION] [--index=packages.txt]\n"
    "            INSTALLATION           tell what the launcher would decide (and whether\n"
    "                                   the installation's keys accept the index's\n"
    "                                   signature, and which packages the index needs\n"
    "                                   are missing or damaged);\n"
    "                                   exit status 0 only when it would start the game\n"
    "                                   and nothing needed is missing or damaged\n"
    "  qvk index PACKAGE_DIR --serial=N --base=VERSION [--expires=DAYS|TIME]\n"
    "            [--mirror=URL]... [--sign=KEY.pem [--keys=trust.ini|INSTALLATION]\n"
    "            [--trust-root=PUBLIC_KEY]... [--trust-release=PUBLIC_KEY]...]\n"
    "            [--program=launcher.exe] [--program=downloader.exe]\n"
    "                                   verify every package in PACKAGE_DIR and write\n"
    "                                   its release index PACKAGE_DIR/packages.txt,\n"
    "                                   signed with KEY.pem; trust records (new keys\n"
    "                                   for players) only with a root key; programs\n"
    "                                   copied beside it under names with their hash\n"
    "  qvk keygen [--release] KEYDIR    make a root key and a release key (or only a\n"
    "                                   release key) in KEYDIR, never replacing one,\n"
    "                                   and KEYDIR/trust.ini with their public keys\n"
    "  qvk --help                       show this text\n"
    "Entry names match with a-z folded to upper case. Exit status: 0 success,\n"
    "1 failure, 2 wrong usage.\n";

}  // namespace

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int main(int argc, char** argv) {
  InstallPlatformFiles();
  std::vector<std::u16string> args = CommandLineArguments(argc, argv);
  if (args.empty()) return Usage();
  const std::u16string command = args[0];
  if (command == u"--help" || command == u"-h" || command == u"help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  args.erase(args.begin());
  const Options options = TakeOptions(&args);
  if (command == u"create") return CreateCommand(args, options);
  if (command == u"list") return ListCommand(args, options);
  if (command == u"extract") return ExtractCommand(args, options);
  if (command == u"cat") return CatCommand(args, options);
  if (command == u"verify") return VerifyCommand(args, options);
  if (command == u"patch") return PatchCommand(args, options);
  if (command == u"check") return CheckCommand(args, options);
  if (command == u"index") return IndexCommand(args, options);
  if (command == u"keygen") return KeygenCommand(args, options);
  std::fprintf(stderr, "qvk: unknown command: %s\n", U8(command).c_str());
  return Usage();
}
