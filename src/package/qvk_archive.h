// Reader of package archives (.qvk): open an archive, find an entry by name,
// read it or extract it to a file of its own.
//
// Archives are checked when they are opened: a trailer, directory or record
// that does not fit the file makes QvkOpen fail, so every record of an open
// archive lies inside the file. No operation allocates more than the file
// holds or the limits below, and none throws: memory that cannot be had
// fails the operation with its usual null or status code.
//
// Threads: an archive may be read through several entry handles, also from
// different threads; the archive's lock serialises positioning and reading of
// its file. One entry handle is used by one thread at a time. QvkOpen,
// QvkClose and the file system choice are not locked: an archive is closed
// by its owner after every entry handle of it is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/owner.h"
#include "package/qvk_file.h"
#include "package/qvk_format.h"

struct QvkArchive;
struct QvkEntry;

// One live directory record, owned by its archive.
struct QvkRecord {
  uint8_t flags;          // carried, not interpreted
  int16_t name_length;    // UTF-16 code units
  int32_t data_offset;    // absolute offset of the scrambled data
  int32_t data_size;      // bytes, never negative in a live record
  uint32_t word;          // carried, not interpreted
  uint32_t name_hash;     // as stored; never recomputed by the reader
  int32_t next_in_bucket; // index chain of the hash table (directory order), -1 at its end
  const char16_t* name;   // zero-terminated, lives as long as the archive
};

// Opens the archive at `path` through QvkDefaultFileSystem() (read and write
// sharing). Null on any failure, with nothing left open: a file that is
// missing or damaged, a directory over kQvkMaxDirectorySize, too little
// memory. The caller owns the result and frees it with QvkClose.
[[nodiscard]] QvkArchive* QvkOpen(const char16_t* path);
// The same over a file already open; takes the file in every case.
[[nodiscard]] QvkArchive* QvkOpenFile(std::unique_ptr<QvkFile> file);

// Closes the file and frees the archive with its records and index: 0; -1
// for a null archive; -2 if closing the file failed (memory freed anyway).
int QvkClose(QvkArchive* archive);

// A handle on the entry whose stored hash equals QvkNameHash(name) (the first
// such record in directory order), positioned at 0. Null if an argument is
// null, no record carries the hash or there is no memory for the handle.
// Free with QvkCloseEntry before closing the archive.
[[nodiscard]] QvkEntry* QvkOpenEntry(QvkArchive* archive, const char16_t* name);
// 0; -1 for a null handle.
int QvkCloseEntry(QvkEntry* entry);
// Owners of an open archive and an open entry: what every caller holds, so
// that no path leaves one open.
using QvkArchivePtr = Owner<QvkArchive*, &QvkClose>;
using QvkEntryPtr = Owner<QvkEntry*, &QvkCloseEntry>;

// The entry's data size; -1 for a null handle.
int32_t QvkEntrySize(const QvkEntry* entry);

// Reads the next `count` bytes of the entry, unscrambled, into `buffer`.
// Returns count on success; 0 for count 0 (nothing touched); -1 for a null
// handle or buffer or a negative count; -2 if positioning the file failed;
// -3 if fewer than count bytes could be read, also when count runs past the
// entry's end (the bytes up to the end are read and consumed; the buffer's
// content is then unspecified). Takes the archive's lock.
[[nodiscard]] int32_t QvkRead(QvkEntry* entry, void* buffer, int32_t count);

// Writes the entry `name` to a new file at `output_path` (replacing one
// there) through QvkDefaultFileSystem(), 16 KiB at a time. 0 on success; -1
// for a null argument; -2 if the entry is not found (the output path is not
// touched) or a read fails; -3 if the output cannot be created or a write
// fails; -4 if a write is short; -5 if closing the output fails. After a
// failure while copying, the output keeps what was written.
[[nodiscard]] int QvkExtract(QvkArchive* archive, const char16_t* name, const char16_t* output_path);

// The live records in directory order, for listing. Null/0 for a null archive.
int32_t QvkLiveRecordCount(const QvkArchive* archive);
const QvkRecord* QvkLiveRecords(const QvkArchive* archive);

// Work done building the index when `archive` was opened, for tests: one
// step per record inserted and one per record passed in a bucket's chain, at
// most one per record whatever the stored hashes. 0 for a null archive.
int64_t QvkIndexSteps(const QvkArchive* archive);

// Reads the whole entry `name` into `text` with one QvkRead. 0 on success;
// -1 for a null argument; -2 if no record carries the name; -3 if the entry
// cannot be held in memory (larger than kQvkMaxReadAllSize, or the memory
// cannot be had) or the read returned less than its size. `text` is changed
// only on success.
inline constexpr int32_t kQvkMaxReadAllSize = 64 << 20;
[[nodiscard]] int QvkReadAll(QvkArchive* archive, const char16_t* name, std::string* text);
