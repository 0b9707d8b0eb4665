// What the qvk tool takes from the platform: the file system for archives
// and the command line as UTF-16.
#pragma once

#include <string>
#include <vector>

// Installs the platform's archive file system (CreateFileW on Windows).
void InstallPlatformFiles();

// The program's arguments after the program name, as UTF-16.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

// Switches standard output to binary (no CR LF translation) for `qvk cat`.
void SetBinaryStandardOutput();
