#include "hardware/probes_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/launch_log.h"
#include "base/text.h"
#include "hardware/cpu_class.h"
#include "hardware/graphics_level.h"
#include "hardware/level_table.h"
#include "hardware/probe_log.h"
#include "support/test_installation_win.h"

namespace {

// Points HKEY_LOCAL_MACHINE of this process at a scratch key under HKCU for
// the length of a scope, so the registry probe reads values the test wrote.
class ScopedMachineKey {
 public:
  ScopedMachineKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                    nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_);
  }
  ~ScopedMachineKey() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(root_);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
  }
  ScopedMachineKey(const ScopedMachineKey&) = delete;
  ScopedMachineKey& operator=(const ScopedMachineKey&) = delete;

  void SetProcessorValue(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    RegCreateKeyExW(root_, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExW(key, L"~MHz", 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }

 private:
  static constexpr const wchar_t* kRoot = L"Software\\LauncherTests\\hw_machine";
  HKEY root_ = nullptr;
};

TEST(QueryCpuClockGHz, ReadsMegahertzFromTheRegistry) {
  ScopedMachineKey machine;
  EXPECT_EQ(QueryCpuClockGHz(), 0.0f) << "no processor key";
  const DWORD mhz = 1995;
  machine.SetProcessorValue(REG_DWORD, &mhz, sizeof mhz);
  EXPECT_FLOAT_EQ(QueryCpuClockGHz(), 1.995f);
  const wchar_t text[] = L"1995";
  machine.SetProcessorValue(REG_SZ, text, sizeof text);
  EXPECT_EQ(QueryCpuClockGHz(), 0.0f) << "wrong value type";
}

TEST(QueryCpuClockGHz, WineReportsAClock) { EXPECT_GT(QueryCpuClockGHz(), 0.0f); }

TEST(ClassifyCpu, ClassifiesTheBrandAndLogsItInCapitals) {
  TestInstallation install("classify");
  const std::string log_path = install.Path("launch.log").string();
  SetLaunchLogPath(log_path);
  LaunchLogReset();
  const std::string brand = ReadCpuBrand();
  const int cpu_class = ClassifyCpu();
  SetLaunchLogPath("");

  EXPECT_LE(brand.size(), 48u);
  EXPECT_EQ(cpu_class, ClassifyBrand(WidenBytes(brand.c_str(), 1024)));
  std::u16string upper = AsciiUpper(WidenBytes(brand.c_str(), 1024));
  std::string line = FormatCpuClassLine(std::string(upper.begin(), upper.end()), cpu_class);
  line.insert(line.size() - 1, "\r");
  EXPECT_EQ(install.Read("launch.log"), line);
  EXPECT_NE(line[0], ' ');
}

TEST(QueryAvailableMemoryMB, IsThisProcessFreeAddressSpace) {
  const uint64_t mb = QueryAvailableMemoryMB();
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_GT(mb, 0u);
  EXPECT_LE(mb, status.ullTotalVirtual >> 20);
}

// The shipped 32-bit build is not large-address-aware: it has 2 GiB, of
// which a test program uses little. Either build measures that room, so both
// land on the same side of the level choice's 3000 MiB.
TEST(QueryAvailableMemoryMB, IsTheRoomOfThe32BitBuildInEitherBuild) {
  const uint64_t mb = QueryAvailableMemoryMB();
  EXPECT_LT(mb, 2048u);
  EXPECT_GT(mb, 1024u);
  EXPECT_EQ(FallbackGraphicsLevel(1024, 3.0f, mb), 1);
}

TEST(QueryDesktopPixels, IsWidthTimesHeight) {
  EXPECT_EQ(QueryDesktopPixels(), GetSystemMetrics(SM_CXSCREEN) * GetSystemMetrics(SM_CYSCREEN));
  EXPECT_GT(QueryDesktopPixels(), 0);
}

TEST(D3D9Check, WineDefaultAdapterPassesAndTheCheckRepeats) {
  EXPECT_TRUE(D3D9Check());
  EXPECT_TRUE(D3D9Check()) << "Direct3D is loaded and released again on every call";
}

TEST(GraphicsHints, ExportedWithValueOne) {
  // The drivers look the symbols up in the executable's export table.
  for (const char* name : {"NvOptimusEnablement", "AmdPowerXpressRequestHighPerformance"}) {
    const void* symbol =
        reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(nullptr), name));
    ASSERT_NE(symbol, nullptr) << name;
    EXPECT_EQ(*static_cast<const DWORD*>(symbol), 1u) << name;
  }
}

}  // namespace
