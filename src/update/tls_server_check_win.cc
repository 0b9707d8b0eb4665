#include "update/tls_server_check_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <cwchar>
#include <vector>

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include "base/owners_win.h"

namespace {

// Host names are at most 253 characters; a longer one is refused.
constexpr int kHostChars = 256;

// SECURITY_FLAG_IGNORE_CERT_CN_INVALID of wininet.h: the SSL policy skips the
// name check.
constexpr DWORD kIgnoreName = 0x00001000;

// Chain errors that Windows' SSL policy refuses. Wine's policy lets some
// pass (a chain that reaches no root at all, seen with an unknown
// authority), so they are looked at here before the policy is asked.
struct ChainError {
  DWORD trust_bits;
  HRESULT error;
};
constexpr ChainError kChainErrors[] = {
    {CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC, CERT_E_CHAINING},
    {CERT_TRUST_IS_UNTRUSTED_ROOT, CERT_E_UNTRUSTEDROOT},
    {CERT_TRUST_IS_EXPLICIT_DISTRUST, TRUST_E_EXPLICIT_DISTRUST},
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID, TRUST_E_CERT_SIGNATURE},
    {CERT_TRUST_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
    {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
    {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, TRUST_E_BASIC_CONSTRAINTS},
};

// The 4 or 16 bytes of `host` if it is an IP address (IPv6 in brackets, as
// in URLs); 0 if it is a name.
DWORD ParseIpAddress(const wchar_t* host, BYTE (&bytes)[16]) {
  if (InetPtonW(AF_INET, host, bytes) == 1) return 4;
  const size_t length = wcslen(host);
  if (length < 3 || length >= kHostChars || host[0] != L'[' || host[length - 1] != L']') return 0;
  wchar_t inner[kHostChars];
  wmemcpy(inner, host + 1, length - 2);
  inner[length - 2] = L'\0';
  return InetPtonW(AF_INET6, inner, bytes) == 1 ? 16 : 0;
}

// Whether `cert`'s subject alternative names hold the IP address `bytes`.
// Certificates name an address there only, as an iPAddress entry; a DNS name
// or common name that reads like one does not count.
bool NamesIpAddress(PCCERT_CONTEXT cert, const BYTE* bytes, DWORD size) {
  const CERT_INFO* info = cert->pCertInfo;
  const CERT_EXTENSION* ext =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (ext == nullptr) return false;
  DWORD decoded_size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData, ext->Value.cbData,
                           0, nullptr, nullptr, &decoded_size)) {
    return false;
  }
  // CERT_ALT_NAME_INFO and the entries it points to, kept aligned.
  std::vector<ULONGLONG> decoded(decoded_size / sizeof(ULONGLONG) + 1);
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, ext->Value.pbData, ext->Value.cbData,
                           0, nullptr, decoded.data(), &decoded_size)) {
    return false;
  }
  const auto* names = reinterpret_cast<const CERT_ALT_NAME_INFO*>(decoded.data());
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == size &&
        std::memcmp(entry.IPAddress.pbData, bytes, size) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

DWORD CheckServerCertificate(PCCERT_CONTEXT cert, const wchar_t* host) {
  if (cert == nullptr || host == nullptr) return static_cast<DWORD>(CERT_E_CHAINING);
  // The usages Schannel asks of a server's chain.
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  char server_gated[] = szOID_SERVER_GATED_CRYPTO;
  char netscape_gated[] = szOID_SGC_NETSCAPE;
  LPSTR usages[] = {server_auth, server_gated, netscape_gated};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 3;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &built) ||
      built == nullptr) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  const CertificateChainOwner chain(built);
  for (const ChainError& e : kChainErrors) {
    if (chain.get()->TrustStatus.dwErrorStatus & e.trust_bits) return static_cast<DWORD>(e.error);
  }

  // A server reached by IP address: Wine's policy compares DNS names only, so
  // the policy checks the chain and the address is matched here.
  BYTE address[16];
  const DWORD address_size = ParseIpAddress(host, address);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  if (address_size == 0) {
    ssl.pwszServerName = const_cast<wchar_t*>(host);
  } else {
    ssl.fdwChecks = kIgnoreName;
  }
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  // The policy checks the chain again and the name against the host.
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  if (status.dwError != 0) return status.dwError;
  if (address_size != 0 && !NamesIpAddress(cert, address, address_size)) {
    return static_cast<DWORD>(CERT_E_CN_NO_MATCH);
  }
  return 0;
}

bool CheckTlsServer(CURL* easy, const char* host) noexcept {
  curl_tlssessioninfo* session = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_TLS_SSL_PTR, &session) != CURLE_OK || session == nullptr ||
      session->backend != CURLSSLBACKEND_SCHANNEL || session->internals == nullptr) {
    return false;
  }
  PCCERT_CONTEXT received = nullptr;
  if (QueryContextAttributesW(static_cast<CtxtHandle*>(session->internals),
                              SECPKG_ATTR_REMOTE_CERT_CONTEXT, &received) != SEC_E_OK ||
      received == nullptr) {
    return false;
  }
  const CertificateOwner cert(received);
  wchar_t wide_host[kHostChars];
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, host, -1, wide_host, kHostChars) <= 0) return false;
  return CheckServerCertificate(cert.get(), wide_host) == 0;
}
