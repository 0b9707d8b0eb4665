#include "ui/download_offer_win.h"

#include <vector>

#include "base/owners_win.h"
#include "base/text_win.h"
#include "ui/launch_arguments.h"

namespace {

constexpr wchar_t kDownloader[] = L"downloader.exe";

}  // namespace

bool DownloaderBeside() {
  const DWORD attributes = GetFileAttributesW(kDownloader);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring DownloaderCommandLine(const std::wstring& program, DWORD pid, const std::u16string& command_text) {
  const std::u16string args = QuoteArgument(ToU16(program)) + u" --then-start-launcher --wait-for=" +
                              ToU16(std::to_wstring(pid)) + u" " + QuoteArgument(u"--launcher-args=" + command_text);
  return ToWide(args);
}

bool StartDownloaderForUpdate(const std::u16string& command_text) {
  std::vector<wchar_t> full(MAX_PATH + 1);
  const DWORD length = GetFullPathNameW(kDownloader, static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return false;
  std::wstring command = DownloaderCommandLine(full.data(), GetCurrentProcessId(), command_text);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(full.data(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  UniqueHandle thread(process.hThread);
  UniqueHandle started(process.hProcess);
  return true;
}
