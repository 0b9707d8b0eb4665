#include "update/link_source.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseLinkSource, Table) {
  struct Case {
    const char* what;
    bool local;
    ManifestLinkEntry entry;
    VersionNumber base;
    LinkSource source;
    const char* archive;
    const char* entry_name;
  };
  const Case cases[] = {
      {"local file wins over the manifest", true, {true, "data/link.ini", 12002}, 12000,
       LinkSource::kLocalFile, "", ""},
      {"local file, no manifest entry", true, {}, 12000, LinkSource::kLocalFile, "", ""},
      {"manifest entry above base", false, {true, "data/link.ini", 12002}, 12000,
       LinkSource::kPatchPackage, "System/Verpatch12002.qvk", "data/link.ini"},
      {"manifest entry at base", false, {true, "data/link.ini", 12000}, 12000,
       LinkSource::kBaseArchive, "System/System.qvk", "link.ini"},
      {"manifest entry version 0", false, {true, "data/link.ini", 0}, 0,
       LinkSource::kBaseArchive, "System/System.qvk", "link.ini"},
      {"no manifest entry", false, {}, 12000, LinkSource::kBaseArchive, "System/System.qvk",
       "link.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LinkSourceChoice choice = ChooseLinkSource(c.local, c.entry, c.base);
    EXPECT_EQ(choice.source, c.source);
    EXPECT_EQ(choice.archive, c.archive);
    EXPECT_EQ(choice.entry, c.entry_name);
  }
}

}  // namespace
