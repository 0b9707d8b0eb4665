#include "update/tls_server_check_win.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include "base/owners_win.h"

namespace {

// Host names are at most 253 characters; a longer one is refused.
constexpr int kHostChars = 256;

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

  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(host);
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  // The policy checks the chain again and the name against the host.
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
    return static_cast<DWORD>(CERT_E_CHAINING);
  }
  return status.dwError;
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
