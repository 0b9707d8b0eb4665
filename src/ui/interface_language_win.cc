#include "ui/interface_language_win.h"

#include "base/launch_log.h"
#include "base/message_catalog_win.h"
#include "ui/launch_arguments.h"

LANGID ChooseInterfaceLanguage() {
  LaunchLogf("User default UI language=0x%04x\n", GetUserDefaultUILanguage());
  const int data_version =
      static_cast<int>(GetPrivateProfileIntW(L"FirstRun", L"DataVersion", 1, L".\\System\\GameConfig.ini"));
  const LANGID set = SetInterfaceLanguage(LanguageForDataVersion(data_version));
  LaunchLogf("Set LANGID=0x%04x\n", set);
  return set;
}
