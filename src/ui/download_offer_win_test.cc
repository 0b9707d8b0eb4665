#include "ui/download_offer_win.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Split(const std::wstring& command_line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(command_line.c_str(), &count);
  std::vector<std::wstring> args(argv, argv + (argv ? count : 0));
  LocalFree(argv);
  return args;
}

TEST(DownloaderCommandLine, TheFrontEndsTextReadsBackWhole) {
  for (const std::u16string text : {u"zone=3&user=a b", u"say \"hi\" \\", u"C:\\dir\\", u"a\\\"b", u"",
                                    u"\u9752\u77f3 zone=\u00e9"}) {
    const std::wstring line = DownloaderCommandLine(L"C:\\Games\\A B\\downloader.exe", 4242, text);
    const std::vector<std::wstring> args = Split(line);
    ASSERT_EQ(args.size(), 4u) << std::string(line.begin(), line.end());
    EXPECT_EQ(args[0], L"C:\\Games\\A B\\downloader.exe");
    EXPECT_EQ(args[1], L"--then-start-launcher");
    EXPECT_EQ(args[2], L"--wait-for=4242");
    EXPECT_EQ(args[3], L"--launcher-args=" + std::wstring(text.begin(), text.end()));
  }
}

}  // namespace
