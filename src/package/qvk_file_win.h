// The Windows file system of the package code: CreateFileW with UTF-16
// paths; archives are opened with read and write sharing so that other
// programs may update them meanwhile. Install it at start-up, before any
// thread opens an archive: SetQvkFileSystem(&QvkWinFileSystem()).
#pragma once

#include "package/qvk_file.h"

QvkFileSystem& QvkWinFileSystem();
