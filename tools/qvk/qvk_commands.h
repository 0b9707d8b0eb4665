// The qvk commands. Each takes its operands and options and returns the
// exit status: 0 success, 1 failure (a message on standard error), 2 wrong
// usage.
#pragma once

#include <string>
#include <vector>

#include "qvk/qvk_common.h"

using Operands = std::vector<std::u16string>;

int CreateCommand(const Operands& args, const Options& options);
int ListCommand(const Operands& args, const Options& options);
int ExtractCommand(const Operands& args, const Options& options);
int CatCommand(const Operands& args, const Options& options);
int VerifyCommand(const Operands& args, const Options& options);
int PatchCommand(const Operands& args, const Options& options);
int CheckCommand(const Operands& args, const Options& options);

int Usage();
