// Where the refresh of the game executable takes the executable from, once
// the window-side manifest has parsed. Pure; shared by the launcher and the
// qvk tool's installation check.
#pragma once

#include <string>

#include "package/patch_list.h"
#include "base/version.h"

struct ExeSource {
  bool in_manifest = false;   // the manifest has a record under the key
  VersionNumber version = 0;  // that record's version
  bool from_package = false;  // taken from the package of `version`
};

// No record under `key`: the installed executable is current. A record whose
// version is not held in a patch package (0, or not above the base): the
// base installation's copy is the newest, so the installed one is started
// too. Otherwise the executable comes from the package of that version.
ExeSource ChooseExeSource(const PatchListIndex& index, const std::string& key, VersionNumber base);
