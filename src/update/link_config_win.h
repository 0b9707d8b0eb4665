// The link configuration step of the worker: the current package check, the
// worker-side manifest, the three side-file URLs and their downloads.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "package/patch_list.h"
#include "update/http_transfer.h"
#include "update/package_check.h"

inline constexpr char kProxyFile[] = "System/Proxy.ini";
inline constexpr char kPqxEncFile[] = "System/pqx_enc.ini";
inline constexpr char kPqxBsidFile[] = "System/pqx_bsid.xml";  // stored scrambled

// What the link configuration step found.
enum class LinkConfigOutcome {
  kCurrentPackageMissing,  // `missing` tells which; update.ini was rewound
  kManifestLoaded,         // the packages it names are checked next (CleanPackages)
  kNoManifest,             // the version is ready without a package check
  kStopped,                // the stop flag was set before the side files
};
struct LinkConfigResult {
  LinkConfigOutcome outcome = LinkConfigOutcome::kNoManifest;
  PackageCheckResult missing;
};

// After the server list has loaded: checks the current package, loads its
// manifest into `manifest` and `versions`, reads the link configuration
// (System/linkconfig.ini, else LINK.INI of its patch package, else link.ini of
// System/System.qvk) and downloads the side files whose URLs are set (a
// failed download leaves the old file untouched). Sends nothing: the caller
// reports the outcome. Worker thread.
LinkConfigResult ReadLinkConfig(HttpTransfer& http, const std::atomic<bool>& stop, PatchListIndex* manifest,
                                std::vector<int32_t>* versions);
