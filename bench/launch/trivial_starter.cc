// The reference for the launch benchmark: starts the game the way the
// launcher does (the shell's open of "<cwd>\System\<name>" with the
// parameters, current directory "<cwd>/System", the shell's own error dialog
// suppressed; a direct CreateProcessW when the shell fails) and exits, doing
// nothing else. Usage: trivial_starter.exe <name> <parameters>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  wchar_t cwd[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::wstring directory = std::wstring(cwd) + L"/System";
  const std::wstring path = std::wstring(cwd) + L"\\System\\" + argv[1];
  const std::wstring parameters = argv[2];
  LocalFree(argv);

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info) && reinterpret_cast<INT_PTR>(info.hInstApp) > 32) return 0;

  std::wstring command = path + L" " + parameters;
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                      &startup, &process)) {
    return 1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
