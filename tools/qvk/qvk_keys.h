// Signing keys for qvk: making them, reading them, and the keys an
// installation trusts.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "base/ecdsa_p256.h"
#include "package/index_signature.h"

// The file names qvk keygen writes in its folder.
inline constexpr char kRootKeyFile[] = "root-key.pem";
inline constexpr char kReleaseKeyFile[] = "release-key.pem";
inline constexpr char kTrustFile[] = "trust.ini";

// The private key in a PKCS#8 PEM file; null with `error` saying why.
std::unique_ptr<EcPrivateKey> ReadPrivateKey(const std::filesystem::path& path, std::string* error);

// The keys that `path` names: an installation folder (update.ini [Download]
// Root= and Release= where a rotation wrote them, else updatecfg.ini
// [trust]), or one INI file with a [trust] section (trust.ini, updatecfg.ini).
// False with `error` saying why; a file without keys gives empty lists.
// The adopted keys count unless [trust] serial is above update.ini
// [Download] KeysSerial (a full client installed since); `serial`, if
// given, receives the higher of the two (0 when none).
bool ReadTrustedKeys(const std::filesystem::path& path, TrustedKeys* keys, std::string* error,
                     uint64_t* serial = nullptr);

// The [trust] section as updatecfg.ini takes it; `serial`, when not 0, is
// that of the trust records the keys came from.
std::string TrustSection(const TrustedKeys& keys, uint64_t serial);
