#include "update/link_source.h"

LinkSourceChoice ChooseLinkSource(bool local_file_exists, const ManifestLinkEntry& link_entry,
                                  VersionNumber base) {
  LinkSourceChoice choice;
  if (local_file_exists) {
    choice.source = LinkSource::kLocalFile;
    return choice;
  }
  if (link_entry.present && HeldInPatchPackage(link_entry.version, base)) {
    choice.source = LinkSource::kPatchPackage;
    choice.archive = PatchPackagePath(link_entry.version);
    choice.entry = link_entry.entry;
    return choice;
  }
  choice.source = LinkSource::kBaseArchive;
  choice.archive = kBaseArchivePath;
  choice.entry = kBaseLinkEntry;
  return choice;
}
