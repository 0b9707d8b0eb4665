// The two clean-ups that start-up runs. Failures are ignored: nothing here
// may stop the launcher.
#pragma once

#include <optional>
#include <string>
#include <vector>

// Deletes System\link.ini and System\asynload.ini and logs "uninst exist:%d".
void RunFirstCleanup();

// Deletes leftover copies of the game executable (System\<base>_temp*.exe)
// and dated logs with the same prefix that are more than a week old. Returns
// the names of the files it listed in System and left there, which spares
// the worker's package checks a listing of their own; nullopt when System
// could not be listed.
std::optional<std::vector<std::u16string>> RunSecondCleanup();
