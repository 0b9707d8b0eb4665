// The qvk commands. Each takes its operands and options and returns the
// exit status: 0 success, 1 failure (a message on standard error), 2 wrong
// usage.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/version.h"

#include "qvk/qvk_common.h"

using Operands = std::vector<std::u16string>;

int CreateCommand(const Operands& args, const Options& options);
int ListCommand(const Operands& args, const Options& options);
int ExtractCommand(const Operands& args, const Options& options);
int CatCommand(const Operands& args, const Options& options);
int VerifyCommand(const Operands& args, const Options& options);
int PatchCommand(const Operands& args, const Options& options);
int CheckCommand(const Operands& args, const Options& options);
int IndexCommand(const Operands& args, const Options& options);
int KeygenCommand(const Operands& args, const Options& options);

// What qvk verify finds in one package file: the archive's structure and
// the manifest it carries, checked against the earlier packages in
// `package_dir` when given. No problems: the package is sound.
struct VerifyResult {
  bool opened = false;  // false: the file cannot be opened, nothing checked
  std::vector<std::string> problems;
  int32_t entries = 0;
  bool has_manifest = false;
};
VerifyResult VerifyPackageFile(const std::u16string& archive_path, const std::filesystem::path* package_dir,
                               std::optional<VersionNumber> base, unsigned code_page);

int Usage();
