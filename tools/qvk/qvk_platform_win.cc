#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "package/qvk_file_win.h"
#include "qvk/qvk_platform.h"

void InstallPlatformFiles() { SetQvkFileSystem(&QvkWinFileSystem()); }

std::vector<std::u16string> CommandLineArguments(int, char**) {
  std::vector<std::u16string> args;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const std::wstring arg(argv[i]);
    args.emplace_back(arg.begin(), arg.end());
  }
  LocalFree(argv);
  return args;
}

void SetBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }
