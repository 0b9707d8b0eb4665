// The two clean-ups that start-up runs. Failures are ignored: nothing here
// may stop the launcher.
#pragma once

// Deletes System\link.ini and System\asynload.ini and logs "uninst exist:%d".
void RunFirstCleanup();

// Deletes leftover copies of the game executable (System\<base>_temp*.exe)
// and dated logs with the same prefix that are more than a week old.
void RunSecondCleanup();
