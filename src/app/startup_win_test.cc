#include "app/startup_win.h"
#include "ui/layer_dlg_win.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "base/launch_log.h"
#include "base/text_win.h"

namespace {

// A semaphore as another program holds it, made with the security descriptor
// `sddl` (null: default security). Closed at the end of the test.
class ForeignSemaphore {
 public:
  ForeignSemaphore(const std::wstring& name, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl && !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                      &descriptor, nullptr)) {
      return;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    handle_ = CreateSemaphoreW(sddl ? &attributes : nullptr, 1, 1, name.c_str());
    if (descriptor) LocalFree(descriptor);
  }
  ~ForeignSemaphore() {
    if (handle_) CloseHandle(handle_);
  }
  ForeignSemaphore(const ForeignSemaphore&) = delete;
  ForeignSemaphore& operator=(const ForeignSemaphore&) = delete;
  bool made() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

struct SemaphoreCase {
  const char* what;
  bool exists;
  const wchar_t* sddl;  // of the existing semaphore; null: default security
};

// A semaphore made by an elevated program (or a service) may refuse a launcher
// that is not elevated the access it asks for, or any access; it exists all
// the same.
const SemaphoreCase kSemaphoreCases[] = {
    {"absent", false, nullptr},
    {"default security", true, nullptr},
    {"others may only wait on it", true, L"D:(A;;0x100000;;;WD)"},
    {"another account's, granting us nothing", true, L"O:SYD:(A;;GA;;;SY)"},
};

// A name no other test run uses.
std::wstring CaseName(const wchar_t* test, size_t index) {
  return L"LauncherTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + test + L"-" +
         std::to_wstring(index);
}

TEST(NamedSemaphoreExists, AnySemaphoreOfThatNameCountsEvenOneThatRefusesAccess) {
  for (size_t i = 0; i < std::size(kSemaphoreCases); ++i) {
    const SemaphoreCase& c = kSemaphoreCases[i];
    SCOPED_TRACE(c.what);
    const std::wstring name = CaseName(L"exists", i);
    std::optional<ForeignSemaphore> other;
    if (c.exists) {
      other.emplace(name, c.sddl);
      ASSERT_TRUE(other->made());
    }
    EXPECT_EQ(NamedSemaphoreExists(name.c_str()), c.exists);
  }
}

TEST(TakeInstanceMarker, FailsWhileAnotherLauncherHoldsTheMarkerEvenOneThatRefusesAccess) {
  for (size_t i = 0; i < std::size(kSemaphoreCases); ++i) {
    const SemaphoreCase& c = kSemaphoreCases[i];
    SCOPED_TRACE(c.what);
    const std::wstring name = CaseName(L"marker", i);
    std::optional<ForeignSemaphore> other;
    if (c.exists) {
      other.emplace(name, c.sddl);
      ASSERT_TRUE(other->made());
    }
    EXPECT_EQ(TakeInstanceMarker(name.c_str()), !c.exists);
    // Whoever took it, the marker is held now: a later launcher gives way.
    EXPECT_FALSE(TakeInstanceMarker(name.c_str()));
    EXPECT_TRUE(NamedSemaphoreExists(name.c_str()));
  }
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A read-only log left by an earlier run (or by a player) would otherwise
// refuse every line of this run.
TEST(StartLaunchLog, MakesAReadOnlyLogWritableEmptiesItAndStartsIt) {
  const std::string path = testing::TempDir() + "startup_launch_log.log";
  const std::wstring wide_path = AnsiToWide(path);
  SetLaunchLogPath(path);
  std::ofstream(path, std::ios::binary) << "earlier run\r\n";
  ASSERT_TRUE(SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  const std::time_t start = 1700000000;
  StartLaunchLog(start);
  LaunchLogWrite("uninst exist:0\n");

  // The read-only attribute is replaced by the archive attribute alone.
  EXPECT_EQ(GetFileAttributesW(wide_path.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  char first_line[64] = "";
  std::strftime(first_line, sizeof first_line, "%Y/%m/%d %X\r\n", std::localtime(&start));
  EXPECT_EQ(ReadAll(path), std::string(first_line) + "uninst exist:0\r\n");

  SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(wide_path.c_str());
  SetLaunchLogPath("");
}

TEST(FindMarkedLauncherWindow, FindsOnlyATopLevelWindowCarryingTheProperty) {
  HWND window = CreateWindowExW(0, L"STATIC", L"marked", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(window);
  // Other programs on the desktop may carry the property; ours must not be
  // found before it is marked.
  EXPECT_NE(FindMarkedLauncherWindow(), window);
  SetPropW(window, kLauncherWindowProperty, reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(FindMarkedLauncherWindow(), window);

  // A marked child window is not a launcher.
  RemovePropW(window, kLauncherWindowProperty);
  HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD, 0, 0, 5, 5, window, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetPropW(child, kLauncherWindowProperty, reinterpret_cast<HANDLE>(1));
  EXPECT_NE(FindMarkedLauncherWindow(), child);
  EXPECT_NE(FindMarkedLauncherWindow(), window);
  RemovePropW(child, kLauncherWindowProperty);
  DestroyWindow(window);
}

}  // namespace
