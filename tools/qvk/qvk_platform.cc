#include "qvk/qvk_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/text.h"
#include "package/entry_names.h"
#include "package/qvk_file.h"

namespace {

// Converts with iconv, failing on any character without an exact form.
bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = &result[0];
  size_t dst_left = result.size();
  const size_t done = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1) || src_left != 0) return false;
  result.resize(result.size() - dst_left);
  *out = std::move(result);
  return true;
}

std::string CodePageName(unsigned code_page) { return "CP" + std::to_string(code_page); }

}  // namespace

void InstallPlatformFiles() {}

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8ToUtf16(argv[i]));
  return args;
}

void SetBinaryStandardOutput() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool EntryNameOfPath(const std::filesystem::path& relative, std::u16string* name,
                     std::string* shown) {
  const std::string bytes = relative.generic_string();
  if (StrictUtf8ToUtf16(bytes, name)) {
    *shown = bytes;
    return true;
  }
  *shown = EscapeNameForLine(Utf8ToUtf16(bytes));
  return false;
}

bool EncodeCodePage(std::u16string_view text, unsigned code_page, std::string* out) {
  if (!IsWellFormedUtf16(text)) return false;
  std::string narrow;
  if (!Convert(CodePageName(code_page).c_str(), "UTF-8", Utf16ToUtf8(text), &narrow)) {
    return false;
  }
  // Round trip: a code page without an exact form must not pass.
  std::string back;
  if (!Convert("UTF-8", CodePageName(code_page).c_str(), narrow, &back) ||
      back != Utf16ToUtf8(text)) {
    return false;
  }
  *out = std::move(narrow);
  return true;
}

bool DecodeCodePage(std::string_view bytes, unsigned code_page, std::u16string* out) {
  std::string utf8;
  if (!Convert("UTF-8", CodePageName(code_page).c_str(), bytes, &utf8)) return false;
  return StrictUtf8ToUtf16(utf8, out);
}

unsigned DefaultCodePage() { return 1252; }

bool CreatePrivateFile(const std::filesystem::path& path, const std::string& data, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  bool ok = fchmod(fd, 0600) == 0;  // whatever the umask
  for (size_t at = 0; ok && at < data.size();) {
    const ssize_t n = write(fd, data.data() + at, data.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  if (!ok) *error = std::strerror(errno);
  if (close(fd) != 0 && ok) {
    ok = false;
    *error = std::strerror(errno);
  }
  if (!ok) unlink(path.c_str());
  return ok;
}
