#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "base/owners_win.h"
#include "package/entry_names.h"
#include "package/qvk_file.h"
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

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

bool EntryNameOfPath(const std::filesystem::path& relative, std::u16string* name,
                     std::string* shown) {
  const std::wstring wide = relative.generic_wstring();
  const std::u16string text(wide.begin(), wide.end());
  *shown = EscapeNameForLine(text);
  if (!IsWellFormedUtf16(text)) return false;
  *name = text;
  return true;
}

bool EncodeCodePage(std::u16string_view text, unsigned code_page, std::string* out) {
  if (!IsWellFormedUtf16(text)) return false;
  if (text.empty()) {
    out->clear();
    return true;
  }
  const std::wstring wide(text.begin(), text.end());
  const int size = static_cast<int>(wide.size());
  // Code pages 1200-1201 and above 50000 do not take the flags; the ANSI ones do.
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                    0, nullptr, &used_default);
  if (n <= 0 || used_default) return false;
  std::string narrow(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide.data(), size, &narrow[0], n,
                          nullptr, &used_default) != n ||
      used_default) {
    return false;
  }
  *out = std::move(narrow);
  return true;
}

bool DecodeCodePage(std::string_view bytes, unsigned code_page, std::u16string* out) {
  if (bytes.empty()) {
    out->clear();
    return true;
  }
  const int size = static_cast<int>(bytes.size());
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, &wide[0], n) != n) {
    return false;
  }
  out->assign(wide.begin(), wide.end());
  return true;
}

unsigned DefaultCodePage() { return GetACP(); }

bool CreatePrivateFile(const std::filesystem::path& path, const std::string& data, std::string* error) {
  // The folder's inherited rights apply: keys belong on the operator's own machine.
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    *error = GetLastError() == ERROR_FILE_EXISTS ? "exists" : "cannot be created";
    return false;
  }
  DWORD written = 0;
  bool ok = WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
            written == data.size() && FlushFileBuffers(file.get());
  ok = file.Close() && ok;
  if (!ok) {
    DeleteFileW(path.c_str());
    *error = "cannot be written";
  }
  return ok;
}
