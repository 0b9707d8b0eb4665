#include "package/release_index.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kHash = std::string(64, 'a');
const std::string kHeader = "format\t1\nserial\t7\nbase\t1.0.0\nlatest\t1.0.2\n";
const std::string kPackages =
    "package\t1.0.1\tVerpatch10001.qvk\t100\t" + kHash + "\npackage\t1.0.2\tVerpatch10002.qvk\t200\t" + kHash + "\n";
const std::string kSound = kHeader + "needs\t1.0.1 1.0.2\n" + kPackages;
const std::string kProgram = "program\tlauncher.exe\tlauncher-aaaaaaaaaaaaaaaa.exe\t300\t" + kHash + "\n";
// A public key as trust records write it.
const std::string kKey = "BKO5EJwUP5dBozH/muIXQ0eTy4N2DoELRiEa0fjfMgdRKTPt8CRv9/KBPwKprJx8UwUJjX0DD7hmdwLgaFc9ACs=";

TEST(ParseReleaseIndex, ReadsASoundIndex) {
  const std::string text = "# published by qvk index\r\n" + kSound +
                           "expires\t2027-01-02T03:04:05Z\nmirror\thttps://cdn.example/game/\n"
                           "mirror\thttp://127.0.0.1:8080/p/\n" + kProgram + "trust\trelease\t" + kKey + "\n"
                           "trust\troot\t" + kKey + "\nsignature\t0123456789abcdef\tAAAA\r\n";
  ReleaseIndex index;
  std::string error;
  ASSERT_TRUE(ParseReleaseIndex(text, &index, &error)) << error;
  EXPECT_EQ(index.serial, 7u);
  EXPECT_EQ(index.base, 10000u);
  EXPECT_EQ(index.latest, 10002u);
  EXPECT_EQ(index.needs, (std::vector<VersionNumber>{10001, 10002}));
  EXPECT_EQ(index.mirrors, (std::vector<std::string>{"https://cdn.example/game/", "http://127.0.0.1:8080/p/"}));
  ASSERT_NE(index.Find(10002), nullptr);
  EXPECT_EQ(index.Find(10002)->size, 200u);
  EXPECT_EQ(index.Find(10002)->file_name, "Verpatch10002.qvk");
  EXPECT_EQ(index.Find(10003), nullptr);
  int64_t expected = 0;
  ASSERT_TRUE(ParseUtcTime("2027-01-02T03:04:05Z", &expected));
  EXPECT_EQ(index.expires, expected);
  ASSERT_EQ(index.programs.size(), 1u);
  EXPECT_EQ(index.programs[0].served_name, "launcher-aaaaaaaaaaaaaaaa.exe");
  EXPECT_EQ(index.programs[0].size, 300u);
  EXPECT_EQ(index.trust_root.size(), 1u);
  EXPECT_EQ(index.trust_release.size(), 1u);

  // Written again, it reads the same and writes the same bytes.
  const std::string written = FormatReleaseIndex(index);
  ReleaseIndex again;
  ASSERT_TRUE(ParseReleaseIndex(written, &again, &error)) << error;
  EXPECT_EQ(FormatReleaseIndex(again), written);
}

TEST(ParseReleaseIndex, RefusesEveryMalformedLineWithItsNumber) {
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "line 0: no \"format\" record: not a release index"},
      {"serial\t1\n", "line 1: the first record is not \"format\""},
      {"format\t2\n", "line 1: format 2 is not format 1"},
      {"format\t1\nformat\t1\n", "line 2: a second \"format\" record"},
      {"format\t1\nserial\tx7\n", "line 2: the serial is not a decimal number"},
      {"format\t1\nserial\t7\t8\n", "line 2: \"serial\" takes 1 field, not 2"},
      {"format\t1\nserial\t\t7\n", "line 2: an empty field (fields are separated by one tab)"},
      {"format\t1\nserial 7\n", "line 2: unknown record \"serial 7\""},
      {"format\t1\ndelete\tall\n", "line 2: unknown record \"delete\""},
      {"format\t1\nbase\t1.0\n", "line 2: \"1.0\" is not a version M.m.b"},
      {"format\t1\nbase\t1.10.0\n", "line 2: \"1.10.0\" is not a version M.m.b"},
      {"format\t1\nbase\t01.0.0\n", "line 2: \"01.0.0\" is not a version M.m.b"},
      {"format\t1\nexpires\t2027-02-29T00:00:00Z\n", "line 2: the expiry is not a time YYYY-MM-DDTHH:MM:SSZ"},
      {"format\t1\nexpires\t2027-01-01 00:00:00\n", "line 2: the expiry is not a time YYYY-MM-DDTHH:MM:SSZ"},
      {"format\t1\nmirror\tftp://x/\n", "line 2: a mirror is an http or https URL ending in /"},
      {"format\t1\nmirror\thttps://x\n", "line 2: a mirror is an http or https URL ending in /"},
      {"format\t1\nmirror\thttp://\n", "line 2: a mirror is an http or https URL ending in /"},
      {"format\t1\nmirror\thttps:///\n", "line 2: a mirror is an http or https URL ending in /"},
      {"format\t1\nserial\t" + std::string(1025, '1') + "\n", "line 2: a field longer than 1024 bytes"},
      {"format\t1\nneeds\t1.0.1  1.0.2\n", "line 2: \"\" is not a version M.m.b"},
      {"format\t1\npackage\t1.0.1\tVerpatch10002.qvk\t1\t" + kHash + "\n",
       "line 2: the file of version 1.0.1 is Verpatch10001.qvk, not Verpatch10002.qvk"},
      {"format\t1\npackage\t1.0.1\tVerpatch10001.qvk\t-1\t" + kHash + "\n",
       "line 2: the size is not a decimal number"},
      {"format\t1\npackage\t1.0.1\tVerpatch10001.qvk\t9999999999999999999\t" + kHash + "\n",
       "line 2: the size is above 1 TiB"},
      {"format\t1\npackage\t1.0.1\tVerpatch10001.qvk\t1\t" + kHash.substr(1) + "\n",
       "line 2: the SHA-256 is not 64 hex digits"},
      {"format\t1\npackage\t1.0.1\tVerpatch10001.qvk\t1\n", "line 2: \"package\" takes 4 fields, not 3"},
      {"format\t1\r\nserial\t1\rbase\t1.0.0\r\n", "line 2: a carriage return or zero byte inside the line"},
      {kSound + kPackages.substr(0, kPackages.find('\n') + 1), "line 8: a second package record for 1.0.1"},
      {kHeader + "needs\t1.0.1\n" + kPackages, "line 5: the latest version is not among the needed ones"},
      {kHeader + "needs\t1.0.2 1.0.2\n" + kPackages, "line 5: a version named twice"},
      {kHeader + "needs\t1.0.0 1.0.2\n" + kPackages, "line 5: 1.0.0 is not above the base and up to the latest"},
      {kHeader + "needs\t1.0.2 1.0.3\n" + kPackages, "line 5: 1.0.3 is not above the base and up to the latest"},
      {kHeader + "needs\t1.0.2\n" + kPackages.substr(kPackages.find('\n') + 1) + "", ""},  // sound
      {kHeader + "needs\t1.0.1 1.0.2\n" + kPackages.substr(kPackages.find('\n') + 1),
       "line 5: no package record for 1.0.1"},
      {"format\t1\nserial\t1\nbase\t1.0.2\nlatest\t1.0.2\nneeds\t1.0.2\n",
       "line 0: the latest version is not above the base"},
      {"format\t1\nbase\t1.0.0\nlatest\t1.0.1\nneeds\t1.0.1\n", "line 0: no \"serial\" record"},
      {"format\t1\ntrust\tadmin\t" + kKey + "\n", "line 2: a trust record is for root or release"},
      {"format\t1\ntrust\troot\t" + kKey.substr(4) + "\n", "line 2: not a public key (base64 of 65 bytes)"},
      {"format\t1\ntrust\troot\n", "line 2: \"trust\" takes 2 fields, not 1"},
      {"format\t1\nsignature\tx\ty\nserial\t1\n", "line 3: a record after the signature record"},
      {"format\t1\nsignature\tx\n", "line 2: \"signature\" takes 2 fields, not 1"},
      {"format\t1\nprogram\tgame.exe\tgame-aaaaaaaaaaaaaaaa.exe\t1\t" + kHash + "\n",
       "line 2: a program is launcher.exe or downloader.exe, not game.exe"},
      {"format\t1\nprogram\tlauncher.exe\tlauncher.exe\t1\t" + kHash + "\n",
       "line 2: the served name of launcher.exe is launcher-aaaaaaaaaaaaaaaa.exe, not launcher.exe"},
      {"format\t1\nprogram\tlauncher.exe\tlauncher-aaaaaaaaaaaaaaaa.exe\t" + std::to_string((256 << 20) + 1) +
           "\t" + kHash + "\n",
       "line 2: the size is above 256 MiB"},
      {"format\t1\n" + kProgram + kProgram, "line 3: a second record for launcher.exe"},
  };
  for (const Case& c : cases) {
    ReleaseIndex index;
    index.serial = 99;
    std::string error;
    const bool ok = ParseReleaseIndex(c.text, &index, &error);
    EXPECT_EQ(ok, c.error[0] == 0) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    if (!ok) {
      EXPECT_EQ(index.serial, 99u) << "a refused index changes nothing";
    }
  }
}

TEST(ParseReleaseIndex, ALongHistoryReadsBack) {
  ReleaseIndex index;
  index.serial = 1;
  index.base = 10000;
  for (VersionNumber v = 10001; v <= 10300; ++v) {
    index.needs.push_back(v);
    index.packages.push_back({v, "Verpatch" + FiveDigitForm(v) + ".qvk", v, Sha256Digest{}});
  }
  index.latest = 10300;
  ReleaseIndex again;
  std::string error;
  ASSERT_TRUE(ParseReleaseIndex(FormatReleaseIndex(index), &again, &error)) << error;
  EXPECT_EQ(again.needs.size(), 300u);
  ASSERT_NE(again.Find(10150), nullptr);
  EXPECT_EQ(again.Find(10150)->size, 10150u);
}

TEST(NeededPackages, TheLatestAndWhatItsManifestNamesAboveTheBase) {
  // Signed manifest versions compare unsigned, as the launcher's checks do.
  EXPECT_EQ(NeededPackages(10003, {0, 9000, 10000, 10001, 10003}, 10000),
            (std::vector<VersionNumber>{10001, 10003}));
  EXPECT_EQ(NeededPackages(10003, {}, 10000), (std::vector<VersionNumber>{10003}));
  EXPECT_EQ(NeededPackages(10003, {-1}, 10000), (std::vector<VersionNumber>{10003, 0xFFFFFFFFu}));
}

TEST(UtcTime, RoundTripsAndRefusesImpossibleDates) {
  for (const char* t : {"1970-01-01T00:00:00Z", "2000-02-29T23:59:59Z", "2026-12-10T23:17:30Z", "9999-12-31T23:59:59Z"}) {
    int64_t s = -1;
    ASSERT_TRUE(ParseUtcTime(t, &s)) << t;
    EXPECT_EQ(FormatUtcTime(s), t);
  }
  int64_t s = 0;
  ASSERT_TRUE(ParseUtcTime("2026-12-10T23:17:30Z", &s));
  EXPECT_EQ(s, 1796944650);
  for (const char* t : {"2100-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-04-31T00:00:00Z",
                        "2026-01-01T24:00:00Z", "2026-01-01T00:00:00", "1969-12-31T23:59:59Z"}) {
    EXPECT_FALSE(ParseUtcTime(t, &s)) << t;
  }
}

}  // namespace
