// Writing a file's cached data to the disk, so that a rename that follows
// never publishes a file whose bytes a power cut could still lose.
#pragma once

#include <filesystem>

// Flushes what the system caches of `file` to the disk. False when the file
// cannot be opened for writing or the flush fails.
bool FlushFileToDisk(const std::filesystem::path& file);
