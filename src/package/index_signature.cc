#include "package/index_signature.h"

#include "base/base64.h"
#include "base/sha256.h"

namespace {

constexpr std::string_view kRecord = "signature\t";

bool IsSignatureLine(std::string_view line) {
  return line.substr(0, kRecord.size()) == kRecord || line == "signature" || line == "signature\r";
}

bool ReadSignatureRecord(std::string_view line, std::string* key_id, EcSignature* signature) {
  if (line.substr(0, kRecord.size()) != kRecord) return false;  // a bare "signature"
  line.remove_prefix(kRecord.size());
  const size_t tab = line.find('\t');
  if (tab != 16) return false;
  *key_id = std::string(line.substr(0, 16));
  for (char c : *key_id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  const std::optional<std::vector<uint8_t>> bytes = Base64Decode(line.substr(tab + 1));
  if (!bytes || bytes->size() != signature->size()) return false;
  std::copy(bytes->begin(), bytes->end(), signature->begin());
  return true;
}

}  // namespace

std::string KeyId(const EcPublicKey& key) {
  Sha256 hash;
  hash.Update(key.data(), key.size());
  Sha256Digest digest;
  if (!hash.Final(&digest)) return std::string(16, '?');
  return Sha256Hex(digest).substr(0, 16);
}

std::string PublicKeyText(const EcPublicKey& key) { return Base64Encode(key.data(), key.size()); }

bool ParsePublicKeyText(std::string_view text, EcPublicKey* key) {
  if (text.size() != 88) return false;
  const std::optional<std::vector<uint8_t>> bytes = Base64Decode(text);
  if (!bytes || bytes->size() != key->size() || (*bytes)[0] != 0x04) return false;
  std::copy(bytes->begin(), bytes->end(), key->begin());
  return true;
}

bool ParsePublicKeyList(std::string_view text, std::vector<EcPublicKey>* keys, std::string* error) {
  std::vector<EcPublicKey> out;
  for (size_t at = 0; at < text.size();) {
    if (text[at] == ' ' || text[at] == '\t') {
      ++at;
      continue;
    }
    size_t end = text.find_first_of(" \t", at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    EcPublicKey key;
    if (!ParsePublicKeyText(word, &key)) {
      *error = "\"" + std::string(word.substr(0, 100)) + "\" is not a public key (base64 of 65 bytes)";
      return false;
    }
    if (out.size() == kMaxKeysPerRole) {
      *error = "more than " + std::to_string(kMaxKeysPerRole) + " keys";
      return false;
    }
    out.push_back(key);
    at = end;
  }
  *keys = std::move(out);
  return true;
}

std::string PublicKeyListText(const std::vector<EcPublicKey>& keys) {
  std::string text;
  for (const EcPublicKey& key : keys) text += (text.empty() ? "" : " ") + PublicKeyText(key);
  return text;
}

SignatureCheck CheckIndexSignature(std::string_view text, const TrustedKeys& keys) {
  SignatureCheck check;
  // Where each line starts; the last line may be followed by one line end.
  std::string_view body = text;
  if (!body.empty() && body.back() == '\n') body.remove_suffix(1);
  if (!body.empty() && body.back() == '\r') body.remove_suffix(1);
  size_t signature_at = std::string_view::npos;
  size_t count = 0;
  for (size_t start = 0; start <= body.size();) {
    size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    if (IsSignatureLine(body.substr(start, end - start))) {
      ++count;
      if (signature_at == std::string_view::npos) signature_at = start;
    }
    start = end + 1;
  }
  if (count == 0) return check;
  if (count > 1) {
    check.verdict = SignatureVerdict::kSecondSignature;
    return check;
  }
  const std::string_view line = body.substr(signature_at);
  if (line.find('\n') != std::string_view::npos) {
    check.verdict = SignatureVerdict::kNotLast;
    return check;
  }
  EcSignature signature;
  if (!ReadSignatureRecord(line, &check.key_id, &signature)) {
    check.verdict = SignatureVerdict::kMalformed;
    check.key_id.clear();
    return check;
  }
  const std::string_view signed_bytes = text.substr(0, signature_at);
  check.verdict = SignatureVerdict::kUnknownKey;
  const auto try_keys = [&](const std::vector<EcPublicKey>& role_keys, KeyRole role) {
    for (const EcPublicKey& key : role_keys) {
      if (KeyId(key) != check.key_id) continue;
      // Ids may collide; only a verified signature counts.
      if (VerifyEcdsaP256(key, signed_bytes, signature)) {
        check.verdict = SignatureVerdict::kValid;
        check.role = role;
        return true;
      }
      check.verdict = SignatureVerdict::kBadSignature;
    }
    return false;
  };
  if (!try_keys(keys.root, KeyRole::kRoot)) try_keys(keys.release, KeyRole::kRelease);
  return check;
}

std::string DescribeSignature(const SignatureCheck& check, const TrustedKeys& keys) {
  const std::string id = check.key_id.empty() ? "" : " " + check.key_id;
  if (keys.empty() && check.verdict == SignatureVerdict::kUnknownKey) return "signed by key" + id;
  switch (check.verdict) {
    case SignatureVerdict::kValid:
      return std::string("signed by ") + (check.role == KeyRole::kRoot ? "root" : "release") + " key" + id;
    case SignatureVerdict::kUnsigned: return "not signed";
    case SignatureVerdict::kMalformed: return "its signature record cannot be read";
    case SignatureVerdict::kNotLast: return "its signature record is not its last line";
    case SignatureVerdict::kSecondSignature: return "it has more than one signature record";
    case SignatureVerdict::kUnknownKey: return "signed by key" + id + ", which is not trusted";
    case SignatureVerdict::kBadSignature: return "its signature by key" + id + " does not match its bytes";
  }
  return "not signed";
}

std::optional<std::string> SignIndexText(std::string_view text, const EcPrivateKey& key) {
  if (!text.empty() && text.back() != '\n') return std::nullopt;
  const std::optional<EcSignature> signature = key.Sign(text);
  if (!signature) return std::nullopt;
  return std::string(text) + std::string(kRecord) + KeyId(key.public_key()) + "\t" +
         Base64Encode(signature->data(), signature->size()) + "\n";
}

bool TrustRecordsAllowed(const ReleaseIndex& index, const SignatureCheck& check) {
  if (index.trust_root.empty() && index.trust_release.empty()) return true;
  return check.verdict == SignatureVerdict::kValid && check.role == KeyRole::kRoot;
}

TrustedKeys KeysAfter(const TrustedKeys& keys, const std::vector<EcPublicKey>& trust_root,
                      const std::vector<EcPublicKey>& trust_release) {
  TrustedKeys after = keys;
  if (!trust_root.empty()) after.root = trust_root;
  if (!trust_release.empty()) after.release = trust_release;
  return after;
}

TrustedKeys KeysAfter(const TrustedKeys& keys, const ReleaseIndex& index) {
  return KeysAfter(keys, index.trust_root, index.trust_release);
}

bool ParseKeyStatement(std::string_view text, KeyStatement* statement, std::string* error) {
  if (text.size() > kMaxKeyStatementBytes) {
    *error = "larger than 64 KiB";
    return false;
  }
  KeyStatement out;
  bool seen_format = false, seen_serial = false, seen_signature = false;
  size_t line_number = 0;
  const auto fail = [&](const std::string& what) {
    *error = "line " + std::to_string(line_number) + ": " + what;
    return false;
  };
  IndexLines lines(text);
  for (std::string_view line; lines.Next(&line);) {
    line_number = lines.line_number();
    const std::vector<std::string_view> f = IndexFields(line);
    if (seen_signature) return fail("a record after the signature record");
    if (!seen_format) {
      if (f.size() != 2 || f[0] != "format" || f[1] != "1") return fail("not a key statement of format 1");
      seen_format = true;
    } else if (f[0] == "serial" && f.size() == 2 && !seen_serial) {
      if (f[1].empty() || f[1].size() > 19 || f[1].find_first_not_of("0123456789") != std::string_view::npos) {
        return fail("the serial is not a decimal number");
      }
      out.serial = std::stoull(std::string(f[1]));
      seen_serial = true;
    } else if (f[0] == "trust" && f.size() == 3 && (f[1] == "root" || f[1] == "release")) {
      std::vector<EcPublicKey>& role = f[1] == "root" ? out.trust_root : out.trust_release;
      EcPublicKey key;
      if (!ParsePublicKeyText(f[2], &key)) return fail("not a public key (base64 of 65 bytes)");
      if (role.size() == kMaxKeysPerRole) return fail("more than " + std::to_string(kMaxKeysPerRole) + " keys");
      role.push_back(key);
    } else if (f[0] == "signature" && f.size() == 3) {
      seen_signature = true;
    } else {
      return fail("not a record of a key statement");
    }
  }
  if (!seen_serial || out.trust_root.empty() || out.trust_release.empty()) {
    *error = "a key statement names its serial and the keys of both roles";
    return false;
  }
  *statement = std::move(out);
  return true;
}

std::string FormatKeyStatement(const KeyStatement& statement) {
  std::string text = "format\t1\nserial\t" + std::to_string(statement.serial) + "\n";
  for (const EcPublicKey& key : statement.trust_root) text += "trust\troot\t" + PublicKeyText(key) + "\n";
  for (const EcPublicKey& key : statement.trust_release) text += "trust\trelease\t" + PublicKeyText(key) + "\n";
  return text;
}
