// The release index comes from the operator's web server or any mirror or
// cache on the way: hostile bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "package/index_signature.h"
#include "package/release_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The signature record is read first, over the raw bytes.
  static const TrustedKeys keys = [] {
    TrustedKeys k;
    EcPublicKey key;
    if (ParsePublicKeyText("BKO5EJwUP5dBozH/muIXQ0eTy4N2DoELRiEa0fjfMgdRKTPt8CRv9/KBPwKprJx8UwUJjX0DD7hmdwLgaFc9ACs=",
                           &key)) {
      k.release.push_back(key);
    }
    return k;
  }();
  const SignatureCheck check = CheckIndexSignature(text, keys);
  if (check.verdict == SignatureVerdict::kValid && check.key_id != "724c4ea599c895e0") std::abort();
  ReleaseIndex index;
  std::string error;
  if (!ParseReleaseIndex(text, &index, &error)) {
    if (error.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
    return 0;
  }
  // What was accepted writes a text that reads back to the same bytes.
  const std::string written = FormatReleaseIndex(index);
  ReleaseIndex again;
  if (!ParseReleaseIndex(written, &again, &error) || FormatReleaseIndex(again) != written) std::abort();
  return 0;
}
