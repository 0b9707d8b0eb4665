// What the qvk tool takes from the platform: the file system for archives,
// the command line as UTF-16, file names as entry names, the terminal test
// and the ANSI code pages.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Installs the platform's archive file system (CreateFileW on Windows).
void InstallPlatformFiles();

// The program's arguments after the program name, as UTF-16.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

// Switches standard output to binary (no CR LF translation) for `qvk cat`.
void SetBinaryStandardOutput();

// Whether standard error is a terminal (progress lines go only there).
bool StandardErrorIsTerminal();

// The '/'-separated relative path as an entry name: false when the name is
// not valid Unicode (bytes that are not UTF-8 on Linux, an unpaired surrogate
// on Windows). `shown` receives a printable form either way.
bool EntryNameOfPath(const std::filesystem::path& relative, std::u16string* name,
                     std::string* shown);

// Text in an ANSI code page (936, 1252, ...): false when some character has
// no exact form there (no best-fit substitutes) or the code page is unknown.
bool EncodeCodePage(std::u16string_view text, unsigned code_page, std::string* out);
bool DecodeCodePage(std::string_view bytes, unsigned code_page, std::u16string* out);

// The code page the launcher would use on this machine: the ANSI code page on
// Windows, 1252 elsewhere.
unsigned DefaultCodePage();

// Creates `path` with `data`, readable and writable only by its owner (mode
// 0600 on Linux); never replaces an existing file. False with `error` set.
bool CreatePrivateFile(const std::filesystem::path& path, const std::string& data, std::string* error);
