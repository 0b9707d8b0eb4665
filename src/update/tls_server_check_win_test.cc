#include "update/tls_server_check_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct StoreClose {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CertificateFree {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};
using StoreOwner = std::unique_ptr<void, StoreClose>;
using CertificateOwner = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;

// An RSA signing key in a provider context of its own that keeps nothing.
class TestKey {
 public:
  TestKey() {
    if (CryptAcquireContextW(&provider_, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                             CRYPT_VERIFYCONTEXT)) {
      CryptGenKey(provider_, AT_SIGNATURE, 2048u << 16, &key_);
    }
  }
  ~TestKey() {
    if (key_ != 0) CryptDestroyKey(key_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;
  HCRYPTPROV provider() const { return provider_; }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTKEY key_ = 0;
};

std::vector<BYTE> Encode(LPCSTR type, const void* value) {
  DWORD size = 0;
  if (!CryptEncodeObject(X509_ASN_ENCODING, type, value, nullptr, &size)) return {};
  std::vector<BYTE> out(size);
  if (!CryptEncodeObject(X509_ASN_ENCODING, type, value, out.data(), &size)) return {};
  out.resize(size);
  return out;
}

std::vector<BYTE> EncodeName(const std::wstring& common_name) {
  const std::wstring x500 = L"CN=" + common_name;
  DWORD size = 0;
  if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &size,
                      nullptr)) {
    return {};
  }
  std::vector<BYTE> out(size);
  if (!CertStrToNameW(X509_ASN_ENCODING, x500.c_str(), CERT_X500_NAME_STR, nullptr, out.data(), &size,
                      nullptr)) {
    return {};
  }
  out.resize(size);
  return out;
}

FILETIME StartOfYear(WORD year) {
  SYSTEMTIME t = {};
  t.wYear = year;
  t.wMonth = 1;
  t.wDay = 1;
  FILETIME f = {};
  SystemTimeToFileTime(&t, &f);
  return f;
}

// The 4 or 16 bytes of an alternative name "ip:ADDRESS"; empty for any other.
std::vector<BYTE> IpAddressBytes(const std::wstring& name) {
  if (name.rfind(L"ip:", 0) != 0) return {};
  const std::wstring text = name.substr(3);
  BYTE bytes[16];
  if (InetPtonW(AF_INET, text.c_str(), bytes) == 1) return std::vector<BYTE>(bytes, bytes + 4);
  if (InetPtonW(AF_INET6, text.c_str(), bytes) == 1) return std::vector<BYTE>(bytes, bytes + 16);
  return {};
}

// A certificate for `subject` (a CA if `dns_name` is empty, else a server
// named `dns_name`: a DNS name, or "ip:ADDRESS" for an IP address), valid from the start of `from` to the start of `to`,
// signed by `issuer_key` in the name of `issuer`. Encoded (DER).
std::vector<BYTE> MakeCertificate(const TestKey& subject_key, const std::wstring& subject,
                                  const TestKey& issuer_key, const std::wstring& issuer,
                                  const std::wstring& dns_name, WORD from, WORD to, BYTE serial) {
  std::vector<BYTE> subject_name = EncodeName(subject);
  std::vector<BYTE> issuer_name = EncodeName(issuer);
  DWORD key_size = 0;
  CryptExportPublicKeyInfo(subject_key.provider(), AT_SIGNATURE, X509_ASN_ENCODING, nullptr, &key_size);
  std::vector<BYTE> key_info(key_size);
  if (key_size == 0 ||
      !CryptExportPublicKeyInfo(subject_key.provider(), AT_SIGNATURE, X509_ASN_ENCODING,
                                reinterpret_cast<PCERT_PUBLIC_KEY_INFO>(key_info.data()), &key_size)) {
    return {};
  }
  CERT_BASIC_CONSTRAINTS2_INFO basic = {dns_name.empty(), FALSE, 0};
  std::vector<BYTE> basic_der = Encode(X509_BASIC_CONSTRAINTS2, &basic);
  CERT_ALT_NAME_ENTRY dns = {};
  std::vector<BYTE> address = IpAddressBytes(dns_name);
  if (address.empty()) {
    dns.dwAltNameChoice = CERT_ALT_NAME_DNS_NAME;
    dns.pwszDNSName = const_cast<wchar_t*>(dns_name.c_str());
  } else {
    dns.dwAltNameChoice = CERT_ALT_NAME_IP_ADDRESS;
    dns.IPAddress = {static_cast<DWORD>(address.size()), address.data()};
  }
  CERT_ALT_NAME_INFO alt = {1, &dns};
  std::vector<BYTE> alt_der = Encode(X509_ALTERNATE_NAME, &alt);
  char basic_oid[] = szOID_BASIC_CONSTRAINTS2;
  char alt_oid[] = szOID_SUBJECT_ALT_NAME2;
  CERT_EXTENSION extensions[2] = {
      {basic_oid, TRUE, {static_cast<DWORD>(basic_der.size()), basic_der.data()}},
      {alt_oid, FALSE, {static_cast<DWORD>(alt_der.size()), alt_der.data()}},
  };
  char signature_oid[] = szOID_RSA_SHA256RSA;
  CERT_INFO info = {};
  info.dwVersion = CERT_V3;
  info.SerialNumber = {1, &serial};
  info.SignatureAlgorithm.pszObjId = signature_oid;
  info.Issuer = {static_cast<DWORD>(issuer_name.size()), issuer_name.data()};
  info.NotBefore = StartOfYear(from);
  info.NotAfter = StartOfYear(to);
  info.Subject = {static_cast<DWORD>(subject_name.size()), subject_name.data()};
  info.SubjectPublicKeyInfo = *reinterpret_cast<PCERT_PUBLIC_KEY_INFO>(key_info.data());
  info.cExtension = dns_name.empty() ? 1 : 2;
  info.rgExtension = extensions;
  DWORD size = 0;
  if (!CryptSignAndEncodeCertificate(issuer_key.provider(), AT_SIGNATURE, X509_ASN_ENCODING,
                                     X509_CERT_TO_BE_SIGNED, &info, &info.SignatureAlgorithm, nullptr,
                                     nullptr, &size)) {
    return {};
  }
  std::vector<BYTE> der(size);
  if (!CryptSignAndEncodeCertificate(issuer_key.provider(), AT_SIGNATURE, X509_ASN_ENCODING,
                                     X509_CERT_TO_BE_SIGNED, &info, &info.SignatureAlgorithm, nullptr,
                                     der.data(), &size)) {
    return {};
  }
  der.resize(size);
  return der;
}

// Two certificate authorities, one of them in the machine's Root store for
// the length of the suite, and an intermediate authority under it.
class ServerCertificateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    trusted_key_ = new TestKey;
    untrusted_key_ = new TestKey;
    intermediate_key_ = new TestKey;
    server_key_ = new TestKey;
    const std::vector<BYTE> root = MakeCertificate(*trusted_key_, L"Launcher Test Root", *trusted_key_,
                                                   L"Launcher Test Root", L"", 2020, 2049, 1);
    root_key_ = AddMachineRoot(root);
  }
  static void TearDownTestSuite() {
    if (!root_key_.empty()) RegDeleteKeyW(HKEY_LOCAL_MACHINE, root_key_.c_str());
    delete server_key_;
    delete intermediate_key_;
    delete untrusted_key_;
    delete trusted_key_;
  }

  // Stores `der` in the machine's Root store the way crypt32 keeps it in the
  // registry (the key is the SHA-1 hash; the value `Blob` holds property
  // records: id, 1, length, bytes; id 3 the hash, id 32 the certificate),
  // before any chain is built in this process. Returns the key's path.
  static std::wstring AddMachineRoot(const std::vector<BYTE>& der) {
    BYTE sha1[20];
    DWORD sha1_size = sizeof sha1;
    if (der.empty() || !CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()),
                                             sha1, &sha1_size)) {
      return L"";
    }
    std::wstring path = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
    for (BYTE b : sha1) {
      path += L"0123456789ABCDEF"[b >> 4];
      path += L"0123456789ABCDEF"[b & 15];
    }
    std::vector<BYTE> blob;
    auto record = [&blob](DWORD id, const BYTE* bytes, DWORD size) {
      for (DWORD word : {id, DWORD{1}, size}) {
        for (int i = 0; i < 4; ++i) blob.push_back(static_cast<BYTE>(word >> (8 * i)));
      }
      blob.insert(blob.end(), bytes, bytes + size);
    };
    record(3, sha1, sha1_size);
    record(32, der.data(), static_cast<DWORD>(der.size()));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return L"";
    }
    const LONG set = RegSetValueExW(key, L"Blob", 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
    RegCloseKey(key);
    if (set != ERROR_SUCCESS) {
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str());
      return L"";
    }
    return path;
  }

  // The server's certificate as a TLS layer hands it over: in a store that
  // also holds the other certificates the server sent.
  static CertificateOwner Received(const std::vector<BYTE>& server, const std::vector<BYTE>& sent_too) {
    StoreOwner store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
    PCCERT_CONTEXT cert = nullptr;
    if (store == nullptr || server.empty()) return CertificateOwner();
    if (!sent_too.empty()) {
      CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, sent_too.data(),
                                       static_cast<DWORD>(sent_too.size()), CERT_STORE_ADD_ALWAYS, nullptr);
    }
    CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, server.data(),
                                     static_cast<DWORD>(server.size()), CERT_STORE_ADD_ALWAYS, &cert);
    return CertificateOwner(cert);  // the context keeps its store open
  }

  static TestKey* trusted_key_;
  static TestKey* untrusted_key_;
  static TestKey* intermediate_key_;
  static TestKey* server_key_;
  static std::wstring root_key_;
};

TestKey* ServerCertificateTest::trusted_key_ = nullptr;
TestKey* ServerCertificateTest::untrusted_key_ = nullptr;
TestKey* ServerCertificateTest::intermediate_key_ = nullptr;
TestKey* ServerCertificateTest::server_key_ = nullptr;
std::wstring ServerCertificateTest::root_key_;

enum class Issuer { kTrustedRoot, kIntermediate, kIntermediateNotSent, kUnknownRoot, kUnknownRootSent };

struct ServerCase {
  const char* what;
  Issuer issuer;
  const wchar_t* certificate_name;
  WORD from, to;
  const wchar_t* host;
  bool trusted;
};

TEST_F(ServerCertificateTest, ChainAndNameDecideTheVerdict) {
  ASSERT_FALSE(root_key_.empty()) << "the test root could not be added to the machine's Root store";
  const ServerCase cases[] = {
      {"issued by a trusted root", Issuer::kTrustedRoot, L"localhost", 2020, 2049, L"localhost", true},
      {"names are compared without case", Issuer::kTrustedRoot, L"localhost", 2020, 2049, L"LocalHost",
       true},
      {"through an intermediate the server sent", Issuer::kIntermediate, L"localhost", 2020, 2049,
       L"localhost", true},
      {"through an intermediate the server did not send", Issuer::kIntermediateNotSent, L"localhost", 2020,
       2049, L"localhost", false},
      {"unknown authority", Issuer::kUnknownRoot, L"localhost", 2020, 2049, L"localhost", false},
      {"unknown authority the server sent too", Issuer::kUnknownRootSent, L"localhost", 2020, 2049,
       L"localhost", false},
      {"expired", Issuer::kTrustedRoot, L"localhost", 2019, 2021, L"localhost", false},
      {"not yet valid", Issuer::kTrustedRoot, L"localhost", 2048, 2049, L"localhost", false},
      {"another name", Issuer::kTrustedRoot, L"other.example", 2020, 2049, L"localhost", false},
      {"a name that only ends like the host", Issuer::kTrustedRoot, L"xlocalhost", 2020, 2049, L"localhost",
       false},
      // Servers reached by address: the address must be one the certificate
      // names as an IP address (libcurl gives IPv6 hosts in brackets).
      {"an IPv4 address it names", Issuer::kTrustedRoot, L"ip:127.0.0.1", 2020, 2049, L"127.0.0.1", true},
      {"an IPv4 address it does not name", Issuer::kTrustedRoot, L"ip:127.0.0.1", 2020, 2049, L"127.0.0.2",
       false},
      {"an IPv6 address it names", Issuer::kTrustedRoot, L"ip:::1", 2020, 2049, L"[::1]", true},
      {"an IPv6 address it does not name", Issuer::kTrustedRoot, L"ip:::1", 2020, 2049, L"[::2]", false},
      {"an address for a host name", Issuer::kTrustedRoot, L"ip:127.0.0.1", 2020, 2049, L"localhost", false},
      {"a host name for an address", Issuer::kTrustedRoot, L"localhost", 2020, 2049, L"127.0.0.1", false},
      {"an address it names, from an unknown authority", Issuer::kUnknownRoot, L"ip:127.0.0.1", 2020, 2049,
       L"127.0.0.1", false},
      {"an address it names, expired", Issuer::kTrustedRoot, L"ip:127.0.0.1", 2019, 2021, L"127.0.0.1",
       false},
  };
  const std::vector<BYTE> intermediate =
      MakeCertificate(*intermediate_key_, L"Launcher Test Intermediate", *trusted_key_,
                      L"Launcher Test Root", L"", 2020, 2049, 2);
  const std::vector<BYTE> unknown_root = MakeCertificate(*untrusted_key_, L"Launcher Unknown Root",
                                                         *untrusted_key_, L"Launcher Unknown Root", L"",
                                                         2020, 2049, 3);
  ASSERT_FALSE(intermediate.empty());
  ASSERT_FALSE(unknown_root.empty());
  BYTE serial = 10;
  for (const ServerCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TestKey* issuer_key = trusted_key_;
    const wchar_t* issuer = L"Launcher Test Root";
    if (c.issuer == Issuer::kIntermediate || c.issuer == Issuer::kIntermediateNotSent) {
      issuer_key = intermediate_key_;
      issuer = L"Launcher Test Intermediate";
    } else if (c.issuer == Issuer::kUnknownRoot || c.issuer == Issuer::kUnknownRootSent) {
      issuer_key = untrusted_key_;
      issuer = L"Launcher Unknown Root";
    }
    const std::vector<BYTE> server =
        MakeCertificate(*server_key_, c.certificate_name, *issuer_key, issuer, c.certificate_name, c.from,
                        c.to, serial++);
    ASSERT_FALSE(server.empty());
    std::vector<BYTE> sent_too;
    if (c.issuer == Issuer::kIntermediate) sent_too = intermediate;
    if (c.issuer == Issuer::kUnknownRootSent) sent_too = unknown_root;
    const CertificateOwner cert = Received(server, sent_too);
    ASSERT_NE(cert, nullptr);
    const DWORD verdict = CheckServerCertificate(cert.get(), c.host);
    EXPECT_EQ(verdict == 0, c.trusted) << "verdict 0x" << std::hex << verdict;
  }
}

TEST(TlsServerCheck, RefusesWithoutATlsConnection) {
  EXPECT_NE(CheckServerCertificate(nullptr, L"localhost"), 0u);
  CURL* easy = curl_easy_init();
  ASSERT_NE(easy, nullptr);
  EXPECT_FALSE(CheckTlsServer(easy, "localhost"));
  curl_easy_cleanup(easy);
}

}  // namespace
