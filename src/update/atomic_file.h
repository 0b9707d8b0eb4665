// Replacing a stored file without ever leaving it half-written.
//
// Paths are std::filesystem::path: on Windows (mingw) they are wide, so any
// name works; ASCII relative names may be passed as narrow strings on both
// systems. Replacement is std::filesystem::rename, which is rename(2) on
// POSIX and MoveFileExW(MOVEFILE_REPLACE_EXISTING) on Windows; both replace
// the destination in one step.
#pragma once

#include <cstddef>
#include <filesystem>

// Writes `size` bytes to "<path>.tmp" in the same directory, closes it and
// then replaces `path` with it. A read-only `path` is made writable first.
// Returns false when any step fails; `path` then keeps its previous content
// (or stays absent) and the temporary file is removed. Any thread, but two
// writers of the same path at once are not supported.
[[nodiscard]] bool WriteFileReplacing(const std::filesystem::path& path, const void* data,
                        std::size_t size);

// Clears a read-only mark on `path` (owner write permission; on Windows the
// read-only attribute). A missing file is left alone. No result.
void MakeWritable(const std::filesystem::path& path);
