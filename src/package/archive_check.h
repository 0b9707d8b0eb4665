// The check a downloaded package passes before it goes into System: the
// archive's structure as `qvk verify` reads it, that the launcher's reader
// opens it, and that the manifest it carries (if any) obeys the rules of
// every manifest. Entries named by the manifest are not looked up: the
// operator's `qvk index` checked them, and the SHA-256 ties the file to that.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/version.h"

// One line per problem; empty when the package is sound.
std::vector<std::string> CheckPackageArchive(const std::filesystem::path& path, VersionNumber version,
                                             VersionNumber base);
