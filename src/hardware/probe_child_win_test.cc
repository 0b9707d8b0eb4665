// The probes under controlled hardware. Wine's Direct3D settings for
// hardware_probe.exe (the Direct3D key under
// HKCU\Software\Wine\AppDefaults\hardware_probe.exe) and its environment
// are chosen per test, and the program runs as a child process, because
// wined3d reads its settings when it is loaded. A DLL is switched off through
// the same key's DllOverrides: Wine takes WINEDLLOVERRIDES only from the
// environment Wine itself was started with, not from a child's environment
// block (the ctest entry hardware_probe_without_d3d9 covers that variable).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_installation_win.h"

namespace {

const wchar_t kProbeSettingsKey[] = L"Software\\Wine\\AppDefaults\\hardware_probe.exe";

struct ProbeRun {
  DWORD exit_code = 0;
  std::map<std::string, std::string> values;
  std::string log;

  int Int(const std::string& name) const {
    auto found = values.find(name);
    return found == values.end() ? -999 : std::atoi(found->second.c_str());
  }
};

struct Setting {
  const wchar_t* name;
  DWORD type;  // REG_DWORD or REG_SZ
  DWORD number;
  const wchar_t* text;
};

std::wstring ProbePath() {
  wchar_t self[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"hardware_probe.exe";
}

class ProbeChildTest : public ::testing::Test {
 protected:
  ProbeChildTest() : install_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kProbeSettingsKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kProbeSettingsKey); }

  static void Apply(const std::vector<Setting>& settings,
                    const wchar_t* subkey = L"Direct3D") {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              (std::wstring(kProbeSettingsKey) + L"\\" + subkey).c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const Setting& s : settings) {
      if (s.type == REG_DWORD) {
        RegSetValueExW(key, s.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.number),
                       sizeof s.number);
      } else {
        RegSetValueExW(key, s.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s.text),
                       static_cast<DWORD>((wcslen(s.text) + 1) * sizeof(wchar_t)));
      }
    }
    RegCloseKey(key);
  }

  // An empty load order switches the DLL off for hardware_probe.exe.
  static void Disable(const wchar_t* dll) { Apply({{dll, REG_SZ, 0, L""}}, L"DllOverrides"); }

  // Runs hardware_probe.exe in the installation with `arguments`; fails the
  // test if it does not end in time.
  ProbeRun Run(const std::wstring& arguments = L"") {
    ProbeRun run;
    std::wstring command = L"\"" + ProbePath() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const std::wstring dir = install_.dir().wstring();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                        0, nullptr, dir.c_str(), &startup,
                        &process)) {
      ADD_FAILURE() << "cannot start hardware_probe.exe: " << GetLastError();
      return run;
    }
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "hardware_probe.exe did not end";
      TerminateProcess(process.hProcess, 1);
    }
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::istringstream lines(install_.Read("probe_result.txt"));
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) run.values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    run.log = install_.Read("System/launch.log");
    return run;
  }

  TestInstallation install_;
};

TEST_F(ProbeChildTest, WineAdapterPassesAllSixTests) {
  const ProbeRun run = Run();
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.Int("D3D9Check"), 1);
  EXPECT_NE(run.log.find("D3D9Check NumAdapters:1\r\nD3D9Check info:1,1,1,1,1,1\r\n"),
            std::string::npos)
      << run.log;
}

struct ShaderCase {
  const char* name;
  Setting setting;
  int expected_check;
  const char* info_line;
};

class ShaderModelTest : public ProbeChildTest,
                        public ::testing::WithParamInterface<ShaderCase> {};

TEST_P(ShaderModelTest, InfoLineShowsWhichTestFailed) {
  const ShaderCase& c = GetParam();
  Apply({c.setting});
  const ProbeRun run = Run();
  EXPECT_EQ(run.Int("D3D9Check"), c.expected_check);
  EXPECT_NE(run.log.find(std::string(c.info_line) + "\r\n"), std::string::npos) << run.log;
}

const ShaderCase kShaderCases[] = {
    {"VertexShader2", {L"MaxShaderModelVS", REG_DWORD, 2, nullptr}, 0, "D3D9Check info:0,1,1,1,1,1"},
    {"PixelShader2", {L"MaxShaderModelPS", REG_DWORD, 2, nullptr}, 0, "D3D9Check info:1,0,1,1,1,1"},
    {"VertexShader1", {L"MaxShaderModelVS", REG_DWORD, 1, nullptr}, 0, "D3D9Check info:0,1,1,1,1,1"},
    {"VertexShader3", {L"MaxShaderModelVS", REG_DWORD, 3, nullptr}, 1, "D3D9Check info:1,1,1,1,1,1"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ShaderModelTest, ::testing::ValuesIn(kShaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct VideoMemoryCase {
  const char* name;
  const wchar_t* size_mb;
  int low;
  int high;
};

class VideoMemorySizeTest : public ProbeChildTest,
                            public ::testing::WithParamInterface<VideoMemoryCase> {};

// Wine's DirectDraw reports the configured size less what its primary
// surface takes (5 MiB on the 1280x1024 test display).
TEST_P(VideoMemorySizeTest, SetsTheReportedMiB) {
  const VideoMemoryCase& c = GetParam();
  Apply({{L"VideoMemorySize", REG_SZ, 0, c.size_mb}});
  const int mb = Run().Int("VideoMemoryMB");
  EXPECT_GE(mb, c.low);
  EXPECT_LE(mb, c.high);
}

const VideoMemoryCase kVideoMemoryCases[] = {
    {"Small", L"256", 240, 256},
    {"Middle", L"768", 752, 768},
    {"AboveTwoGiBStaysPositive", L"3072", 3056, 3072},
    {"AboveFourGiBCappedByDirectDraw", L"8192", 3584, 4095},
};

INSTANTIATE_TEST_SUITE_P(Cases, VideoMemorySizeTest, ::testing::ValuesIn(kVideoMemoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct AdapterCase {
  const char* name;
  DWORD vendor;
  DWORD device;
  const char* adapter_line;
  int level;
};

class AdapterLevelTest : public ProbeChildTest,
                         public ::testing::WithParamInterface<AdapterCase> {};

TEST_P(AdapterLevelTest, TableMatchesTheReportedDescription) {
  const AdapterCase& c = GetParam();
  install_.WriteTableArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini",
                             u"\uFEFFAdapter\tLevel\r\n"
                             u"GeForce\t1\r\n"
                             u"GeForce GTX 560\t3\r\n"
                             u"Radeon HD 6800\t2\r\n");
  Apply({{L"VideoPciVendorID", REG_DWORD, c.vendor, nullptr},
         {L"VideoPciDeviceID", REG_DWORD, c.device, nullptr}});
  const ProbeRun run = Run();
  EXPECT_EQ(run.Int("AdapterLevel"), c.level);
  EXPECT_NE(run.log.find("GraphicsCount:3\r\n" + std::string(c.adapter_line) + "\r\n"),
            std::string::npos)
      << run.log;
  EXPECT_FALSE(install_.Exists("System/GraphicsLevel.ini"));
}

const AdapterCase kAdapterCases[] = {
    {"LongestKeyWins", 0x10de, 0x1201, "NVIDIA GEFORCE GTX 560:3", 3},
    {"ShortKey", 0x10de, 0x06cd, "NVIDIA GEFORCE GTX 470:1", 1},
    {"OtherVendor", 0x1002, 0x6739, "AMD RADEON HD 6800 SERIES:2", 2},
    {"NoKeyMatches", 0x8086, 0x0166, "INTEL(R) HD GRAPHICS 4000:0", 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, AdapterLevelTest, ::testing::ValuesIn(kAdapterCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeChildTest, TableFromPatchPackageWhenAboveBase) {
  install_.WriteTableArchive("System/GameData.qvk", u"BaseData/GraphicsLevel.ini",
                             u"h\r\nGeForce\t1\r\n");
  install_.WriteTableArchive("System/Verpatch00012.qvk", u"gamedata/BaseData/GraphicsLevel.ini",
                             u"h\r\nGeForce\t3\r\nRadeon\t2\r\n");
  const ProbeRun patched = Run(L"12 11");
  EXPECT_EQ(patched.Int("AdapterLevel"), 3);
  EXPECT_NE(patched.log.find("GraphicsCount:2\r\n"), std::string::npos) << patched.log;
  const ProbeRun base = Run(L"12 12");
  EXPECT_EQ(base.Int("AdapterLevel"), 1);
  EXPECT_NE(base.log.find("GraphicsCount:1\r\n"), std::string::npos) << base.log;
  EXPECT_FALSE(install_.Exists("System/GraphicsLevel.ini"));
}

TEST_F(ProbeChildTest, WithoutDirect3D9TheCheckFailsQuietly) {
  Disable(L"d3d9");
  const ProbeRun run = Run();
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.Int("D3D9Check"), 0);
  EXPECT_EQ(run.Int("AdapterLevel"), -1);
  EXPECT_EQ(run.log.find("D3D9Check"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("GraphicsCount:0\r\n"), std::string::npos) << run.log;
}

TEST_F(ProbeChildTest, WithoutDirectDrawVideoMemoryIsUnknown) {
  Disable(L"ddraw");
  const ProbeRun run = Run();
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.Int("VideoMemoryMB"), -1);
}

}  // namespace
