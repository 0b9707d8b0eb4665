// The launcher window's modal run, called by start-up once it has decided
// that the launcher runs.
#pragma once

#include "ui/launch_context.h"

// Builds the main dialog and the skin window, runs the skin window modally
// (template 220) and returns its result: 1 when the launcher was closed, -1
// when the window could not be created. Window thread.
int RunLauncherWindow(const LaunchContext& context);
