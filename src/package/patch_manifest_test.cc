#include "package/patch_manifest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "package/manifest_check.h"

namespace {

// Latin-1 stands in for a code page: representable when every unit < 0x100.
bool EncodeLatin1(std::u16string_view text, std::string* out) {
  out->clear();
  for (char16_t c : text) {
    if (c >= 0x100) return false;
    out->push_back(static_cast<char>(c));
  }
  return true;
}

PatchManifestInput Input() {
  PatchManifestInput input;
  input.version = 10003;
  input.base = 10000;
  input.game_exe = u"Game.exe";
  input.encode = EncodeLatin1;
  return input;
}

TEST(BuildPatchManifest, CarriesRecordsForwardAndRecordsChanges) {
  PatchManifestInput input = Input();
  input.previous = {{"GAME.EXE", "Game.exe", 10001},
                    {"LINK.INI", "link.ini", 10002},
                    {"old.dat", "data/old.dat", 10001}};
  input.changed = {u"Game.exe", u"gamedata/BaseData/GraphicsLevel.ini"};
  PatchManifest out;
  std::string error;
  ASSERT_TRUE(BuildPatchManifest(input, &out, &error)) << error;
  EXPECT_EQ(out.text,
            "GAME.EXE\tGame.exe\t10003\n"
            "GRAPHICSLEVEL.INI\tgamedata/BaseData/GraphicsLevel.ini\t10003\n"
            "LINK.INI\tlink.ini\t10002\n"
            "OLD.DAT\tdata/old.dat\t10001\n");
  EXPECT_TRUE(out.notes.empty());

  // What it writes is what the launcher reads back, and it passes the checks.
  ManifestRules rules;
  rules.base = input.base;
  rules.package = input.version;
  EXPECT_TRUE(CheckManifest(out.text, rules, nullptr).empty());

  PatchManifest again;
  ASSERT_TRUE(BuildPatchManifest(input, &again, &error));
  EXPECT_EQ(again.text, out.text);
}

TEST(BuildPatchManifest, RemovalsNeedConsentAndDropTheirRecords) {
  PatchManifestInput input = Input();
  input.previous = {{"OLD.DAT", "data/old.dat", 10001}, {"KEEP.DAT", "keep.dat", 10002}};
  input.removed = {u"data/old.dat", u"base_only.txt"};
  PatchManifest out;
  std::string error;
  EXPECT_FALSE(BuildPatchManifest(input, &out, &error));
  EXPECT_NE(error.find("--allow-removals"), std::string::npos) << error;

  input.allow_removals = true;
  ASSERT_TRUE(BuildPatchManifest(input, &out, &error)) << error;
  EXPECT_EQ(out.text, "KEEP.DAT\tkeep.dat\t10002\n");
  ASSERT_EQ(out.notes.size(), 2u);
  EXPECT_NE(out.notes[0].find("base_only.txt\" removed: no record"), std::string::npos) << out.notes[0];
  EXPECT_NE(out.notes[1].find("data/old.dat"), std::string::npos) << out.notes[1];
}

TEST(BuildPatchManifest, RefusesWhatPlayersCouldNotUse) {
  struct Case {
    const char* what;
    std::vector<ManifestRecord> previous;
    std::vector<std::u16string> changed;
    std::vector<std::u16string> removed;
    const char* message;  // part of the error
  };
  const Case cases[] = {
      {"not in the code page", {}, {u"data/\u9752.txt"}, {}, "not representable"},
      {"white space", {}, {u"my file.txt"}, {}, "white space"},
      {"too long", {}, {u"d/" + std::u16string(300, u'x')}, {}, "over its limit of 259"},
      {"two files one key", {}, {u"a/config.ini", u"b/Config.ini"}, {}, "both be filed"},
      {"key of a carried record", {{"CONFIG.INI", "a/config.ini", 10001}}, {u"b/config.ini"}, {},
       "which stays"},
      {"executable not at the root", {}, {u"bin/Game.exe"}, {}, "package root"},
      {"executable removed", {}, {}, {u"Game.exe"}, "cannot be removed"},
      {"reserved name", {}, {u"PatchList.txt"}, {}, "reserved"},
      {"previous record not older", {{"A", "a", 10003}}, {}, {}, "not older"},
      {"previous record at the base", {{"A", "a", 10000}}, {}, {}, "not above the base"},
      {"previous keys differ only in case", {{"A", "a", 10001}, {"a", "b", 10002}}, {}, {},
       "appears twice"},
  };
  for (const Case& c : cases) {
    PatchManifestInput input = Input();
    input.previous = c.previous;
    input.changed = c.changed;
    input.removed = c.removed;
    input.allow_removals = true;
    PatchManifest out;
    std::string error;
    EXPECT_FALSE(BuildPatchManifest(input, &out, &error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
  }
}

TEST(BuildPatchManifest, MovedFileTakesOverItsKey) {
  PatchManifestInput input = Input();
  input.previous = {{"CONFIG.INI", "a/config.ini", 10001}};
  input.changed = {u"b/config.ini"};
  input.removed = {u"a/config.ini"};
  input.allow_removals = true;
  PatchManifest out;
  std::string error;
  ASSERT_TRUE(BuildPatchManifest(input, &out, &error)) << error;
  EXPECT_EQ(out.text, "CONFIG.INI\tb/config.ini\t10003\n");
}

TEST(CheckManifest, NamesEachProblem) {
  struct Case {
    const char* what;
    std::string text;
    const char* problem;  // null: clean
  };
  const Case cases[] = {
      {"clean", "GAME.EXE\tGame.exe\t10002\nLINK.INI\tlink.ini\t10001\n", nullptr},
      {"empty", "", nullptr},
      {"malformed", "A\ta\tx\n", "window mode"},
      {"lower-case key", "link.ini\tlink.ini\t10001\n", "not upper case"},
      {"duplicate key", "A\ta\t10001\nA\tb\t10002\n", "appears twice"},
      {"at the base", "A\ta\t10000\n", "not above the base"},
      {"above the package", "A\ta\t10003\n", "above this package"},
      {"missing entry", "A\tmissing\t10001\n", "\"missing\" is missing from System/Verpatch10001.qvk"},
      {"missing package", "A\ta\t10002\nB\tb\t10001\n", nullptr},
      {"executable entry missing", "GAME.EXE\tbin/game.exe\t10001\n",
       "executable entry \"GAME.EXE\" is missing"},
      {"two records on a line split by blanks", "A a 10001 B b 10001\n", nullptr},
      {"CR LF line ends", "A\ta\t10001\r\nB\tb\t10001\r\n", nullptr},
      {"CR alone ends a line", "A\ta\t10001\rB\tb\t10001\r", "carriage return without a line feed"},
  };
  ManifestRules rules;
  rules.base = 10000;
  rules.package = 10002;
  const EntryLookup lookup = [](VersionNumber v, const std::string& entry) {
    std::string folded = entry;
    for (char& ch : folded) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::set<std::string> in_10001 = {"A", "B", "LINK.INI", "BIN/GAME.EXE"};
    const std::set<std::string> in_10002 = {"A", "GAME.EXE"};
    if (v == 10001) return in_10001.count(folded) ? EntryPresence::kPresent : EntryPresence::kMissing;
    if (v == 10002) return in_10002.count(folded) ? EntryPresence::kPresent : EntryPresence::kMissing;
    return EntryPresence::kPackageMissing;
  };
  for (const Case& c : cases) {
    const std::vector<std::string> problems = CheckManifest(c.text, rules, lookup);
    if (!c.problem) {
      EXPECT_TRUE(problems.empty()) << c.what << ": " << (problems.empty() ? "" : problems[0]);
      continue;
    }
    bool found = false;
    for (const std::string& p : problems) found = found || p.find(c.problem) != std::string::npos;
    EXPECT_TRUE(found) << c.what << ": " << (problems.empty() ? "(none)" : problems[0]);
  }
}

}  // namespace
