// The interface language of the launcher and the download program, chosen
// the same way for both: "System\GameConfig.ini" [FirstRun] DataVersion 1 (the
// default) is Simplified Chinese, any other value English.
#pragma once

#include <windows.h>

// Logs the user's default UI language, sets the chosen one for every later
// LoadMessage and logs what the system reports as set. Returns that.
LANGID ChooseInterfaceLanguage();
