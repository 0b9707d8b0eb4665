// The manifest of a new patch package: the previous release's records carried
// forward, the files this release changes or adds recorded under its own
// version, removed files' records dropped. Pure: the caller compares the
// trees and writes the package.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "package/manifest_check.h"

struct PatchManifestInput {
  std::vector<ManifestRecord> previous;  // the previous release's manifest
  std::vector<std::u16string> changed;   // entry names changed or added in this release
  std::vector<std::u16string> removed;   // entry names the new release no longer has
  VersionNumber version = 0;             // this release
  VersionNumber base = 0;
  std::u16string game_exe;  // the game executable's file name; empty when not given
  bool allow_removals = false;
  // Text in the target ANSI code page; false when it has no exact form.
  std::function<bool(std::u16string_view, std::string*)> encode;
};

struct PatchManifest {
  std::string text;                // "KEY\tentry\tversion\n" lines, sorted by key
  std::vector<std::string> notes;  // what the operator should know (dropped records)
};

// The key the manifest files a name under: its last component, a-z upper-cased.
std::u16string ManifestKey(std::u16string_view entry_name);

// Builds the manifest, or returns false with `error` naming the file and the
// rule: a name not representable in the code page, holding white space or
// longer than 259 bytes; two files under one key; a previous record not older
// than this release or not above the base; the game executable outside the
// package root or removed; removals without allow_removals; a file named
// PatchList.txt.
bool BuildPatchManifest(const PatchManifestInput& input, PatchManifest* out, std::string* error);
