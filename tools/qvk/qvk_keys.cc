// qvk keygen: a root key pair and a release key pair for signing releases.
#include "qvk/qvk_keys.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "qvk/qvk_commands.h"
#include "qvk/qvk_ini.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

namespace {

// Key files are small; anything larger is not one.
constexpr uintmax_t kMaxKeyFileBytes = 64 << 10;

bool ReadSmallFile(const fs::path& path, std::string* bytes, bool* exists) {
  std::error_code ec;
  *exists = fs::is_regular_file(path, ec);
  if (!*exists) return true;
  if (fs::file_size(path, ec) > kMaxKeyFileBytes || ec) return false;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  *bytes = out.str();
  return static_cast<bool>(in);
}

// One INI value as text; keys are plain ASCII.
std::string IniKeyText(const std::string& bytes, const char16_t* section, const char16_t* key) {
  const std::u16string text = IniFileText(bytes, &DecodeCodePage, DefaultCodePage());
  const std::u16string value = IniValue(text, section, key).value_or(u"");
  std::string narrow;
  for (char16_t c : value) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

bool HasKeys(const std::string& text) { return text.find_first_not_of(" \t") != std::string::npos; }

}  // namespace

std::unique_ptr<EcPrivateKey> ReadPrivateKey(const fs::path& path, std::string* error) {
  std::string pem;
  bool exists = false;
  if (!ReadSmallFile(path, &pem, &exists) || !exists) {
    *error = PathText(path) + ": cannot be read";
    return nullptr;
  }
  std::string why;
  std::unique_ptr<EcPrivateKey> key = EcPrivateKey::FromPem(pem, &why);
  if (!key) *error = PathText(path) + ": " + why;
  return key;
}

bool ReadTrustedKeys(const fs::path& path, TrustedKeys* keys, std::string* error, uint64_t* serial) {
  std::error_code ec;
  const bool installation = fs::is_directory(path, ec);
  const fs::path shipped = installation ? path / "updatecfg.ini" : path;
  std::string shipped_bytes, adopted_bytes;
  bool exists = false, adopted_exists = false;
  if (!ReadSmallFile(shipped, &shipped_bytes, &exists) || !exists) {
    *error = PathText(shipped) + ": cannot be read";
    return false;
  }
  if (installation && !ReadSmallFile(path / "update.ini", &adopted_bytes, &adopted_exists)) {
    *error = PathText(path / "update.ini") + ": cannot be read";
    return false;
  }
  const struct {
    const char16_t* adopted;
    const char16_t* shipped;
    const char* name;
    std::vector<EcPublicKey>* out;
  } roles[] = {{u"Root", u"root", "root", &keys->root}, {u"Release", u"release", "release", &keys->release}};
  // The keys of the newer source, as the download program takes them.
  const auto serial_of = [](const std::string& text) -> uint64_t {
    const bool decimal = !text.empty() && text.size() < 20 && text.find_first_not_of("0123456789") == std::string::npos;
    return decimal ? std::stoull(text) : 0;
  };
  const uint64_t adopted_serial = serial_of(IniKeyText(adopted_bytes, u"Download", u"KeysSerial"));
  const uint64_t shipped_serial = serial_of(IniKeyText(shipped_bytes, u"trust", u"serial"));
  if (adopted_serial < shipped_serial) adopted_bytes.clear();
  if (serial) *serial = std::max(adopted_serial, shipped_serial);
  for (const auto& role : roles) {
    std::string text = IniKeyText(adopted_bytes, u"Download", role.adopted);
    std::string where = PathText(path / "update.ini") + " [Download] " + U8(role.adopted);
    if (!HasKeys(text)) {
      text = IniKeyText(shipped_bytes, u"trust", role.shipped);
      where = PathText(shipped) + " [trust] " + role.name;
    }
    std::string why;
    if (!ParsePublicKeyList(text, role.out, &why)) {
      *error = where + ": " + why;
      return false;
    }
  }
  return true;
}

std::string TrustSection(const TrustedKeys& keys, uint64_t serial) {
  return "[trust]\nroot=" + PublicKeyListText(keys.root) + "\nrelease=" + PublicKeyListText(keys.release) + "\n" +
         (serial ? "serial=" + std::to_string(serial) + "\n" : "");
}

int KeygenCommand(const Operands& args, const Options& options) {
  if (args.size() != 1 || !options.FirstUnknown({u"release"}).empty()) return Usage();
  const bool release_only = options.Has(u"release");
  const fs::path dir(args[0]);
  const fs::path root_file = dir / kRootKeyFile, release_file = dir / kReleaseKeyFile, trust_file = dir / kTrustFile;
  std::error_code ec;
  for (const fs::path& file : {root_file, release_file, trust_file}) {
    if (release_only && file != release_file) continue;
    if (fs::exists(file, ec) || ec) {
      return Fail(PathText(file) + " exists: qvk never replaces a key; choose a new folder");
    }
  }
  // A folder made here is the owner's alone; an existing one keeps its rights.
  if (!fs::exists(dir, ec)) {
    fs::create_directories(dir, ec);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
  }
  if (!fs::is_directory(dir, ec)) return Fail(PathText(dir) + ": cannot be created");

  const auto make = [&](const fs::path& file) -> std::unique_ptr<EcPrivateKey> {
    std::unique_ptr<EcPrivateKey> key = EcPrivateKey::Generate();
    const std::string pem = key ? key->ToPem() : "";
    std::string error;
    if (pem.empty()) {
      Fail("this build cannot write PEM keys: make them with the Linux build of qvk or with openssl genpkey");
      return nullptr;
    }
    if (!CreatePrivateFile(file, pem, &error)) {
      Fail(PathText(file) + ": " + error);
      return nullptr;
    }
    return key;
  };
  TrustedKeys keys;
  std::unique_ptr<EcPrivateKey> root;
  if (!release_only) {
    root = make(root_file);
    if (!root) return 1;
    keys.root.push_back(root->public_key());
  }
  const std::unique_ptr<EcPrivateKey> release = make(release_file);
  if (!release) return 1;
  keys.release.push_back(release->public_key());
  if (release_only) {
    std::printf("%s: a new release key, id %s\npublic key: %s\n"
                "Rotate to it with an index signed by the root key:\n"
                "  qvk index PACKAGE_DIR ... --sign=ROOT_KEY.pem --trust-release=%s\n",
                PathText(release_file).c_str(), KeyId(release->public_key()).c_str(),
                PublicKeyText(release->public_key()).c_str(), PublicKeyText(release->public_key()).c_str());
    return 0;
  }
  const std::string trust = "; The public keys of this game's releases, in the form updatecfg.ini takes:\n"
                            "; copy the [trust] section into the updatecfg.ini of the full client.\n" +
                            TrustSection(keys, 0);
  std::ofstream out(trust_file, std::ios::binary | std::ios::trunc);
  out << trust;
  out.close();
  if (!out) return Fail(PathText(trust_file) + ": cannot be written");
  std::printf("%s: root key, id %s. Keep it OFFLINE (a removable disk in a safe, and a second copy):\n"
              "  it decides which keys players trust; with it lost, only a new full client can change them.\n"
              "%s: release key, id %s. It signs every release: qvk index ... --sign=%s\n"
              "%s: the public keys. Put this section in the updatecfg.ini of the full client:\n%s",
              PathText(root_file).c_str(), KeyId(root->public_key()).c_str(), PathText(release_file).c_str(),
              KeyId(release->public_key()).c_str(), PathText(release_file).c_str(), PathText(trust_file).c_str(),
              TrustSection(keys, 0).c_str());
  return 0;
}
