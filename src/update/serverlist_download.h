// Fetching, storing and loading the server list, and the choice of the
// current zone. The Win32 side (messages to the dialog, the profile files)
// lives with the worker; everything here is portable and testable natively.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "serverlist/server_list.h"
#include "serverlist/server_list_parser.h"
#include "update/http_transfer.h"

// The stored list, relative to the working directory. The same file is read
// back; Windows compares the name without regard to case.
inline constexpr char kStoredServerListPath[] = "serverlist.xml";

// Failed attempts that lead to a silent new attempt; the next failure falls
// back to the list stored by an earlier run.
inline constexpr int kSilentServerListRetries = 3;

// What follows a failed attempt (a transfer that failed or a body that did
// not load). `failure_count` is the count after this failure was added.
enum class ServerListFailureStep {
  kRetry,          // report kind 1 flag 0; the dialog asks again
  kUseStoredList,  // try the list stored by an earlier run
};
ServerListFailureStep StepAfterFailedAttempt(int failure_count);

// Result of one DownloadServerlist call, for the worker to act on.
enum class ServerListOutcome {
  kLoaded,  // the list (new or stored) loaded: go on with the link configuration
  kRetry,   // post UM_UPDATE_ERROR kind 1, flag 0
  kGiveUp,  // post UM_UPDATE_ERROR kind 1, flag 1
};

// "<base_url>/serverlist.xml". An empty result if it would exceed kMaxUrlBytes.
std::string ServerListUrl(std::string_view base_url);

// Scrambles `size` bytes of `body` in place and stores them at `path` through
// WriteFileReplacing. False if the file could not be written (the previous
// copy is kept).
bool StoreServerList(const std::filesystem::path& path, unsigned char* body,
                     std::size_t size);

// LoadServerList: with a document (unscrambled bytes), load that; with null,
// load the list stored by an earlier run. Either way the saved zone and the
// versions too. True if it loaded; `list` is unchanged otherwise.
using ServerListLoader = std::function<bool(const std::vector<unsigned char>* document)>;

// One attempt: fetch "<base_url>/serverlist.xml" with `profile` and log
// "DownloadServerlist err_code:%d\n". A body that loads from memory is then
// stored scrambled at `stored`; a body that does not load leaves the stored
// list alone and counts as a failed attempt, like a failed transfer. After
// kSilentServerListRetries failures, the next one loads the stored list.
// `failure_count` lives for the process and is only ever increased; the
// caller owns it. Worker thread.
ServerListOutcome DownloadServerlist(HttpTransfer& http, std::string_view base_url,
                                     int& failure_count, const ServerListLoader& load,
                                     const std::filesystem::path& stored = kStoredServerListPath,
                                     const TransferProfile& profile = kServerListProfile);

// Longest saved zone name that is looked up (characters read from the
// current zone file).
inline constexpr std::size_t kSavedZoneUnits = 63;

// The portable part of LoadServerList: parse the stored list at `stored`
// into `list`; then, if `saved_zone` is not empty, current zone =
// FindZone(saved_zone) (none if the list has no such zone). False, with
// `list` unchanged, if the stored list does not load. The caller reads the
// saved zone ("./system/currentzone.ini" [current] zone) before and the
// versions after. Worker thread.
[[nodiscard]] bool LoadServerListFile(const std::filesystem::path& stored, std::u16string_view saved_zone,
                        ServerList& list, AnsiEncoder encoder = AsciiOrQuestionMark);
// The same on an unscrambled document in memory (a body just received).
[[nodiscard]] bool LoadServerListDocument(const std::vector<unsigned char>& document,
                            std::u16string_view saved_zone, ServerList& list,
                            AnsiEncoder encoder = AsciiOrQuestionMark);

// The first zone in document order whose name equals `name` exactly (UTF-16
// code units, case-sensitive); null if none.
const ZoneRecord* FindZone(const ServerList& list, std::u16string_view name);

// The current zone rule: the saved zone if the load found it (list.current_zone),
// else the first preferred zone, else the first zone; null for a list without
// zones (then nothing is saved and the game is not started). Does not change
// `list`; the dialog assigns the result to list.current_zone.
const ZoneRecord* ChooseCurrentZone(const ServerList& list);
