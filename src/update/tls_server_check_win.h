// The server certificate check of https transfers on Windows: the chain the
// server sent is built and checked by CryptoAPI against the system's
// certificate stores, with the SSL policy for the URL's host. Schannel on
// Windows makes the same check in its handshake; Wine's Schannel makes none,
// so without this any certificate would be accepted there.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <curl/curl.h>

// The SSL policy's verdict on `cert` for a server named `host`: 0 if the chain
// leads to a trusted root, every certificate is within its validity and the
// name matches; otherwise the policy's error (CERT_E_UNTRUSTEDROOT,
// CERT_E_EXPIRED, CERT_E_CN_NO_MATCH, ...). Intermediate certificates are
// taken from `cert`'s own store, which holds what the server sent.
// Revocation is not checked here: where the TLS layer verifies, it has.
DWORD CheckServerCertificate(PCCERT_CONTEXT cert, const wchar_t* host);

// The TlsServerCheck installed with SetTlsServerCheck: takes the server's
// certificate from the Schannel context of `easy`'s connection. False if
// there is none (another TLS backend, no connection) or the check fails.
bool CheckTlsServer(CURL* easy, const char* host) noexcept;
