#include "update/package_check.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// A package set: the versions whose package files exist; counts the look-ups.
struct Packages {
  std::set<VersionNumber> present;
  int lookups = 0;
  PackageExists Exists() {
    return [this](VersionNumber v) {
      ++lookups;
      return present.count(v) > 0;
    };
  }
};

TEST(JudgeCurrentPackage, Cases) {
  struct Case {
    VersionNumber current, base;
    std::set<VersionNumber> present;
    bool missing;
    std::string text;
    std::optional<std::string> rewind;
  };
  const Case cases[] = {
      {12000, 11000, {}, true, "1.2.0", "1.1.255"},
      {12003, 12000, {}, true, "1.2.3", "1.2.2"},
      {12003, 12000, {12003}, false, "", std::nullopt},
      {12000, 12000, {}, false, "", std::nullopt},   // equal to base
      {11000, 12000, {}, false, "", std::nullopt},   // below base
      {2147483648u, 0, {}, false, "", std::nullopt}, // does not split
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " base " << c.base);
    Packages packages{c.present};
    PackageCheckResult r = JudgeCurrentPackage(c.current, c.base, packages.Exists());
    EXPECT_EQ(r.missing, c.missing);
    EXPECT_EQ(r.missing_text, c.text);
    EXPECT_EQ(r.rewind, c.rewind);
  }
}

TEST(JudgeCurrentPackage, NotLookedForAtOrBelowBase) {
  Packages packages;
  JudgeCurrentPackage(12000, 12000, packages.Exists());
  JudgeCurrentPackage(0, 0, packages.Exists());
  EXPECT_EQ(packages.lookups, 0);
}

TEST(JudgeManifestPackages, Cases) {
  struct Case {
    std::vector<VersionNumber> versions;
    VersionNumber base;
    std::set<VersionNumber> present;
    bool missing;
    std::string text;
    std::optional<std::string> rewind;
  };
  const Case cases[] = {
      {{12001, 12002, 12003}, 12000, {12001}, true, "1.2.2, 1.2.3", "1.2.1"},
      {{12001, 12002, 12003}, 12000, {12001, 12002, 12003}, false, "", std::nullopt},
      {{12001, 12002, 12003}, 12000, {}, true, "1.2.1, 1.2.2, 1.2.3", "1.2.0"},
      {{12000}, 12000, {}, false, "", std::nullopt},           // at base: not needed
      {{0, 11000, 12001}, 12000, {12001}, false, "", std::nullopt},
      {{12001, 13000}, 12000, {12001}, true, "1.3.0", "1.2.999"},  // no 255 limit
      {{}, 12000, {}, false, "", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << c.base << " first " << c.versions.size());
    Packages packages{c.present};
    PackageCheckResult r = JudgeManifestPackages(c.versions, c.base, packages.Exists());
    EXPECT_EQ(r.missing, c.missing);
    EXPECT_EQ(r.missing_text, c.text);
    EXPECT_EQ(r.rewind, c.rewind);
  }
}

TEST(JudgeManifestPackages, TextStaysWithinItsBufferWithWholeEntries) {
  std::vector<VersionNumber> versions;
  for (VersionNumber v = 10001; v <= 10400; ++v) versions.push_back(v);
  Packages none;
  PackageCheckResult r = JudgeManifestPackages(versions, 10000, none.Exists());
  EXPECT_TRUE(r.missing);
  EXPECT_LE(r.missing_text.size(), kMissingTextMax);
  EXPECT_EQ(r.missing_text.substr(0, 14), "1.0.1, 1.0.2, ");
  // Ends on a whole dotted version, not a cut one.
  size_t last = r.missing_text.rfind(", ");
  EXPECT_EQ(r.missing_text.substr(last), ", 1.0.125");  // 1015 characters; 1.0.126 would pass 1023
  EXPECT_EQ(r.rewind, "1.0.0");
}

TEST(ListedPackages, ThePackagesFileNameListedInAnyCase) {
  const PackageExists exists = ListedPackages(
      {u"Verpatch12001.qvk", u"VERPATCH12002.QVK", u"Verpatch012003.qvk", u"Verpatch12004.qvk.bak",
       u"Verpatch00099.qvk", u"Game.exe"});
  const struct {
    VersionNumber v;
    bool present;
  } cases[] = {{12001, true}, {12002, true}, {12003, false}, {12004, false}, {99, true}, {12005, false}};
  for (const auto& c : cases) EXPECT_EQ(exists(c.v), c.present) << c.v;
  EXPECT_FALSE(ListedPackages({})(12001));
}

TEST(PatchPackageNumber, Names) {
  struct Case {
    const char16_t* name;
    std::optional<VersionNumber> n;
  };
  const Case cases[] = {
      {u"Verpatch12001.qvk", 12001},
      {u"Verpatch09001.qvk", 9001},
      {u"Verpatch12001.qvk.old", 12001},  // judged like the package itself
      {u"verpatch12001.qvk", std::nullopt},  // case-sensitive prefix
      {u"Verpatch12001.QVK", std::nullopt},  // ".qvk" is case-sensitive too
      {u"Verpatch.qvk", std::nullopt},
      {u"Verpatch-5.qvk", std::nullopt},
      {u"System.qvk", std::nullopt},
      {u"GameData.qvk", std::nullopt},
      {u".", std::nullopt},
      {u"..", std::nullopt},
      {u"Verpatch99999999999.qvk", 4294967295u},  // saturates
  };
  for (const Case& c : cases) {
    std::u16string name(c.name);
    EXPECT_EQ(PatchPackageNumber(name), c.n) << std::string(name.begin(), name.end());
  }
}

TEST(IsStalePackage, DecisionTable) {
  // base 12000, current 12003, manifest versions {12001, 12005}
  const std::vector<VersionNumber> versions = {12001, 12005};
  struct Case {
    VersionNumber n;
    bool stale;
  };
  const Case cases[] = {
      {11999, true},   // at or below base: always
      {12000, true},
      {12001, false},  // above base, named by the manifest
      {12005, false},
      {12002, true},   // above base, not named, older than current
      {12003, false},  // not named, equal to current
      {12004, false},  // not named, newer than current
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsStalePackage(c.n, versions, 12000, 12003), c.stale) << c.n;
  }
  // A version named by the manifest at or below the base is still deleted.
  EXPECT_TRUE(IsStalePackage(12000, {12000}, 12000, 12003));
}

TEST(StalePackages, Listing) {
  // current 12003, base 12000, manifest {12001, 12003}, both present.
  const std::vector<std::u16string> listing = {
      u"System.qvk",        u"GameData.qvk",     u"Verpatch11999.qvk",
      u"Verpatch12000.qvk", u"Verpatch12001.qvk", u"Verpatch12002.qvk",
      u"Verpatch12003.qvk", u"Verpatch12004.qvk", u"verpatch12002.qvk",
      u"Verpatch12002.qvk.old",
  };
  const std::vector<std::u16string> expected = {
      u"Verpatch11999.qvk", u"Verpatch12000.qvk", u"Verpatch12002.qvk",
      u"Verpatch12002.qvk.old"};
  EXPECT_EQ(StalePackages(listing, {12001, 12003}, 12000, 12003), expected);
}

}  // namespace
