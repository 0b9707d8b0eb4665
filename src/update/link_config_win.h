// The link configuration step of the worker: the current package check, the
// worker-side manifest, the three side-file URLs and their downloads.
#pragma once

class ZUpdater;

inline constexpr char kProxyFile[] = "System/Proxy.ini";
inline constexpr char kPqxEncFile[] = "System/pqx_enc.ini";
inline constexpr char kPqxBsidFile[] = "System/pqx_bsid.xml";  // stored scrambled

// After the server list has loaded: stops (kind 8 posted) when the current
// package is missing; otherwise loads the manifest, reads the link
// configuration (System/linkconfig.ini, else LINK.INI of its patch package,
// else link.ini of System/System.qvk), downloads the side files whose URLs
// are set (a failed download leaves the old file untouched), then posts
// UM_WORKER_CHECK_PACKAGES to itself when the manifest loaded, or sends
// UM_VERSION_READY. Worker thread.
void ReadLinkConfig(ZUpdater& worker);
