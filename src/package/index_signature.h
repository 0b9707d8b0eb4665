// Signed release indexes. Root keys (kept offline) decide which keys are
// trusted; release keys sign the everyday indexes. Either may sign an index;
// only a root key may sign trust records, which replace the trusted keys of
// their role.
//
// The signature record is the index's last line,
//   signature <TAB> KEY-ID <TAB> BASE64(r || s)
// optionally followed by one line end. It signs every byte before its own
// line. A key id is the first 16 lowercase hex digits of the SHA-256 of the
// key's 65-byte point; a key is written as the base64 of that point.
// Pure functions, callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/ecdsa_p256.h"
#include "package/release_index.h"

enum class KeyRole { kRoot, kRelease };

// The most keys of one role an installation keeps; more are refused.
inline constexpr size_t kMaxKeysPerRole = 16;

struct TrustedKeys {
  std::vector<EcPublicKey> root;
  std::vector<EcPublicKey> release;
  bool empty() const { return root.empty() && release.empty(); }
};

std::string KeyId(const EcPublicKey& key);
std::string PublicKeyText(const EcPublicKey& key);
// Exactly the base64 of a 65-byte uncompressed point; false otherwise.
bool ParsePublicKeyText(std::string_view text, EcPublicKey* key);
// A list of keys separated by blanks, as updatecfg.ini [trust] holds them.
// False with `error` naming the first word that is no key, or when there are
// more than kMaxKeysPerRole.
bool ParsePublicKeyList(std::string_view text, std::vector<EcPublicKey>* keys, std::string* error);
std::string PublicKeyListText(const std::vector<EcPublicKey>& keys);

enum class SignatureVerdict {
  kValid,            // signed by one of the keys
  kUnsigned,         // no signature record
  kMalformed,        // a signature record that cannot be read
  kNotLast,          // something follows the signature record
  kSecondSignature,  // more than one signature record
  kUnknownKey,       // signed by a key the installation does not trust
  kBadSignature,     // the signature does not match the bytes
};

struct SignatureCheck {
  SignatureVerdict verdict = SignatureVerdict::kUnsigned;
  KeyRole role = KeyRole::kRelease;  // kValid: the signer's role
  std::string key_id;                // the record's key id, once read
};

// Finds the signature record of `text`, the index's raw bytes, and checks it
// against `keys` before anything else of the text is read.
SignatureCheck CheckIndexSignature(std::string_view text, const TrustedKeys& keys);

// A sentence for logs and the operator: "signed by root key 0123abcd...".
// Checked against no keys, an index is only "not signed" or "signed by key
// 0123abcd...".
std::string DescribeSignature(const SignatureCheck& check, const TrustedKeys& keys);

// `text`, an index without a signature record ending in a line end, with
// the signature record of `key` appended; nullopt when signing failed.
std::optional<std::string> SignIndexText(std::string_view text, const EcPrivateKey& key);

// Whether an index whose signature checked as `check` may carry its trust
// records: only one signed by a root key.
bool TrustRecordsAllowed(const ReleaseIndex& index, const SignatureCheck& check);

// The keys after accepted trust records: they replace the keys of their role;
// the root keys never become none.
TrustedKeys KeysAfter(const TrustedKeys& keys, const std::vector<EcPublicKey>& trust_root,
                      const std::vector<EcPublicKey>& trust_release);
TrustedKeys KeysAfter(const TrustedKeys& keys, const ReleaseIndex& index);

// The key statement, "keys.txt", served beside the index for as long as its
// keys are current: the operator's whole key sets, signed by a root key, so
// that an installation that missed the index that rotated them can still
// follow. Records: format 1, serial N (the rotating index's), trust records
// of both roles, and the signature record.
inline constexpr size_t kMaxKeyStatementBytes = 64 << 10;

struct KeyStatement {
  uint64_t serial = 0;
  std::vector<EcPublicKey> trust_root;
  std::vector<EcPublicKey> trust_release;
};

// Reads a statement whose signature was checked; false with `error` set.
bool ParseKeyStatement(std::string_view text, KeyStatement* statement, std::string* error);
// The statement's text without its signature record.
std::string FormatKeyStatement(const KeyStatement& statement);

// Trust records count only when their serial is above that of the keys an
// installation holds, so that a replayed older rotation cannot bring back
// keys the operator dropped.
inline bool TrustRecordsAreNewer(uint64_t records_serial, uint64_t keys_serial) {
  return records_serial > keys_serial;
}
