// qvk index: the release index of a folder of packages, "packages.txt".
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "package/index_signature.h"
#include "package/patch_list.h"
#include "package/release_index.h"
#include "qvk/qvk_commands.h"
#include "qvk/qvk_keys.h"
#include "update/package_check.h"

namespace fs = std::filesystem;

namespace {

// The versions the package's manifest names, as the launcher's worker reads them.
bool ManifestVersions(const fs::path& package, std::vector<int32_t>* versions) {
  QvkArchivePtr archive(QvkOpen(package.u16string().c_str()));
  std::string text;
  PatchListIndex index;
  return archive && QvkReadAll(archive.get(), u"PatchList.txt", &text) == 0 &&
         ParsePatchList(std::move(text), PatchListMode::kWorker, &index, versions);
}

// The key that signs, the keys that say its role, and the trust records.
struct Signing {
  std::unique_ptr<EcPrivateKey> key;
  TrustedKeys known;       // from --keys or trust.ini beside the key; may be empty
  std::string known_from;  // where they were read
};

// Reads --sign, --keys, --trust-root and --trust-release into `signing` and
// `index`; refuses whatever would make players refuse the index or lock them out.
std::optional<int> PrepareSigning(const Options& options, Signing* signing, ReleaseIndex* index) {
  for (const auto& [name, value] : options.values) {
    if (name != u"trust-root" && name != u"trust-release") continue;
    EcPublicKey key;
    if (!ParsePublicKeyText(U8(value), &key)) {
      return Fail("--" + U8(name) + "=" + U8(value) + ": not a public key (base64 of 65 bytes, as qvk keygen prints)");
    }
    (name == u"trust-root" ? index->trust_root : index->trust_release).push_back(key);
  }
  const bool rotates = !index->trust_root.empty() || !index->trust_release.empty();
  if (!options.Has(u"sign")) {
    if (rotates) return Fail("--trust-root and --trust-release need --sign with the root key");
    return std::nullopt;
  }
  const fs::path key_file(options.Value(u"sign"));
  std::string error;
  signing->key = ReadPrivateKey(key_file, &error);
  if (!signing->key) return Fail("--sign: " + error);
  std::error_code ec;
  fs::path keys_file = key_file.parent_path() / kTrustFile;
  if (options.Has(u"keys")) {
    keys_file = fs::path(options.Value(u"keys"));
  } else if (!fs::exists(keys_file, ec)) {
    keys_file.clear();
  }
  if (!keys_file.empty()) {
    if (!ReadTrustedKeys(keys_file, &signing->known, &error)) return Fail("--keys: " + error);
    signing->known_from = PathText(keys_file);
  }
  const EcPublicKey& signer = signing->key->public_key();
  const auto in = [&](const std::vector<EcPublicKey>& keys) {
    return std::find(keys.begin(), keys.end(), signer) != keys.end();
  };
  if (keys_file.empty()) {
    Warn("no trust.ini beside " + PathText(key_file) + " and no --keys: qvk cannot check that players trust "
         "this key");
  }
  if (!keys_file.empty() && !in(signing->known.root) && !in(signing->known.release)) {
    return Fail("the key of " + PathText(key_file) + " (id " + KeyId(signer) + ") is not among the keys of " +
                signing->known_from + ": players would refuse the index");
  }
  if (rotates) {
    // A key's role is not in the key itself: only the operator's list tells.
    if (keys_file.empty()) {
      return Fail("trust records must be signed by a root key, and qvk cannot tell a key's role by itself: "
                  "name the keys with --keys=trust.ini (written by qvk keygen) or --keys=INSTALLATION");
    }
    if (!in(signing->known.root)) {
      return Fail("the key of " + PathText(key_file) + " is a release key in " + signing->known_from +
                  ": only a root key may sign trust records; players would refuse the index");
    }
    if (!index->trust_root.empty() &&
        std::find(index->trust_root.begin(), index->trust_root.end(), signer) == index->trust_root.end()) {
      Warn("after this index players trust only the root keys it names, not the one signing it: "
           "keep the new root key's private file offline and at hand");
    }
  }
  return std::nullopt;
}

// Records the program at `file` (launcher.exe or downloader.exe) and copies
// it into `dir` under its served name, which carries its hash: a cache may
// keep it for ever.
std::optional<int> AddProgram(const fs::path& file, const fs::path& dir, ReleaseIndex* index) {
  IndexedProgram p;
  p.installed_name = PathText(file.filename());
  if (std::find(std::begin(kUpdatablePrograms), std::end(kUpdatablePrograms), p.installed_name) ==
      std::end(kUpdatablePrograms)) {
    return Fail("--program=" + PathText(file) + ": only launcher.exe and downloader.exe update themselves");
  }
  for (const IndexedProgram& seen : index->programs) {
    if (seen.installed_name == p.installed_name) return Fail("--program: " + p.installed_name + " named twice");
  }
  std::ifstream in(file, std::ios::binary);
  char magic[2] = {};
  if (!in.read(magic, 2) || magic[0] != 'M' || magic[1] != 'Z') {
    return Fail("--program=" + PathText(file) + ": not a Windows program");
  }
  in.close();
  if (!HashFile(file, &p.size, &p.sha256)) return Fail("--program=" + PathText(file) + ": cannot be read");
  if (p.size > kMaxProgramBytes) return Fail("--program=" + PathText(file) + ": larger than 256 MiB");
  p.served_name = ServedProgramName(p.installed_name, p.sha256);
  const fs::path served = dir / p.served_name;
  uint64_t size = 0;
  Sha256Digest digest;
  std::error_code ec;
  if (!fs::exists(served, ec) || !HashFile(served, &size, &digest) || digest != p.sha256) {
    fs::path tmp = served;
    tmp += ".tmp";
    fs::copy_file(file, tmp, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(tmp, served, ec);
    if (ec) {
      fs::remove(tmp, ec);
      return Fail(PathText(served) + ": cannot be written");
    }
  }
  index->programs.push_back(std::move(p));
  return std::nullopt;
}

// Writes `text` to `path` through a temporary file beside it.
bool WriteReplacing(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::path tmp = path;
  tmp += ".tmp";
  std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
  o.write(text.data(), static_cast<std::streamsize>(text.size()));
  o.close();
  if (o) fs::rename(tmp, path, ec);
  if (!o || ec) {
    fs::remove(tmp, ec);
    return false;
  }
  return true;
}

// The key statement of the keys after a rotation, signed by the root key
// that signs the rotation, and verified as players verify it.
std::optional<std::string> SignedKeyStatement(const Signing& signing, const ReleaseIndex& index) {
  KeyStatement statement;
  const TrustedKeys after = KeysAfter(signing.known, index);
  statement.serial = index.serial;
  statement.trust_root = after.root;
  statement.trust_release = after.release;
  const std::optional<std::string> text = SignIndexText(FormatKeyStatement(statement), *signing.key);
  KeyStatement check;
  std::string error;
  if (!text || CheckIndexSignature(*text, signing.known).verdict != SignatureVerdict::kValid ||
      !ParseKeyStatement(*text, &check, &error)) {
    return std::nullopt;
  }
  return text;
}

// The key statement already published must name the keys qvk signs by:
// a rotation built on a stale trust.ini would hand late players dropped keys.
std::optional<int> CheckPublishedStatement(const fs::path& file, const Signing& signing) {
  std::error_code ec;
  if (!signing.key || signing.known.empty() || !fs::exists(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  KeyStatement statement;
  std::string error;
  const SignatureCheck check = CheckIndexSignature(text, signing.known);
  if (check.verdict != SignatureVerdict::kValid || check.role != KeyRole::kRoot ||
      !ParseKeyStatement(text, &statement, &error) || statement.trust_root != signing.known.root ||
      statement.trust_release != signing.known.release) {
    return Fail(PathText(file) + " does not name the keys of " + signing.known_from +
                ": put the [trust] section of the last rotation in it first; nothing written");
  }
  return std::nullopt;
}

}  // namespace

int IndexCommand(const Operands& args, const Options& options) {
  if (args.size() != 1 || !options.Has(u"serial") || !options.Has(u"base")) return Usage();
  const std::u16string unknown =
      options.FirstUnknown({u"serial", u"base", u"expires", u"mirror", u"sign", u"keys", u"trust-root",
                            u"trust-release", u"program"});
  if (!unknown.empty()) return Fail("--" + U8(unknown) + ": no such option of qvk index; nothing written");
  const fs::path dir(args[0]);
  ReleaseIndex index;
  const std::string serial = U8(options.Value(u"serial"));
  if (serial.empty() || serial.size() > 18 || serial.find_first_not_of("0123456789") != std::string::npos) {
    return Fail("--serial: not a decimal number");
  }
  index.serial = std::stoull(serial);
  index.base = ParseVersionText(options.Value(u"base"));
  if (index.base == 0 || IndexVersionText(index.base) != U8(options.Value(u"base"))) {
    return Fail("--base: not a version M.m.b");
  }
  if (options.Has(u"expires")) {
    const std::string expires = U8(options.Value(u"expires"));
    if (!expires.empty() && expires.size() <= 5 && expires.find_first_not_of("0123456789") == std::string::npos &&
        std::stoi(expires) > 0) {
      index.expires = static_cast<int64_t>(std::time(nullptr)) + int64_t{86400} * std::stoi(expires);
    } else if (!ParseUtcTime(expires, &index.expires)) {
      return Fail("--expires: neither a number of days (1 to 99999) nor a time YYYY-MM-DDTHH:MM:SSZ");
    }
    if (index.expires <= static_cast<int64_t>(std::time(nullptr))) {
      return Fail("--expires=" + expires + ": already past; every player would refuse the index");
    }
  }
  for (const auto& [name, value] : options.values) {
    if (name == u"mirror") index.mirrors.push_back(U8(value));
  }
  Signing signing;
  if (const std::optional<int> failed = PrepareSigning(options, &signing, &index)) return *failed;
  if (const std::optional<int> failed = CheckPublishedStatement(dir / "keys.txt", signing)) return *failed;

  // The index only grows: a serial at or below the published one would be
  // refused by every player who has seen that one.
  const fs::path out = dir / "packages.txt";
  std::error_code ec;
  if (fs::exists(out, ec)) {
    std::ifstream in(out, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ReleaseIndex previous;
    std::string error;
    if (!ParseReleaseIndex(text, &previous, &error)) {
      return Fail(PathText(out) + " is not a release index (" + error +
                  "): its serial cannot be checked; move it away first");
    }
    if (index.serial <= previous.serial) {
      return Fail(PathText(out) + " has serial " + std::to_string(previous.serial) +
                  ": --serial must be above it");
    }
    if (!signing.key && CheckIndexSignature(text, TrustedKeys()).verdict != SignatureVerdict::kUnsigned) {
      return Fail(PathText(out) + " is signed: players with keys would refuse an unsigned one; sign it with --sign");
    }
  }

  std::vector<std::pair<VersionNumber, fs::path>> files;  // by version
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<VersionNumber> v = PatchPackageNumber(it->path().filename().u16string());
    if (!v || it->path().filename() != "Verpatch" + FiveDigitForm(*v) + ".qvk") continue;
    if (ParseVersionText(IndexVersionText(*v)) != *v) {
      return Fail(PathText(it->path().filename()) + ": its number is no version M.m.b");
    }
    files.emplace_back(*v, it->path());
  }
  if (ec) return Fail(PathText(dir) + ": cannot be listed");
  if (files.empty()) return Fail(PathText(dir) + ": no package Verpatch<n>.qvk");
  std::sort(files.begin(), files.end());
  for (const auto& [version, file] : files) {
    const std::string name = PathText(file.filename());
    IndexedPackage p;
    p.version = version;
    p.file_name = name;
    if (!HeldInPatchPackage(p.version, index.base)) {
      return Fail(name + ": not above the base version " + IndexVersionText(index.base));
    }
    const VerifyResult verified = VerifyPackageFile(file.u16string(), &dir, index.base, 0);
    if (!verified.opened) return Fail(name + ": cannot open");
    for (const std::string& problem : verified.problems) Warn(name + ": " + problem);
    if (!verified.problems.empty()) return Fail(name + ": does not verify; nothing written");
    if (!HashFile(file, &p.size, &p.sha256)) return Fail(name + ": cannot be read");
    index.packages.push_back(std::move(p));
  }
  index.latest = index.packages.back().version;
  std::vector<int32_t> versions;
  if (!ManifestVersions(files.back().second, &versions)) {
    return Fail(index.packages.back().file_name + ": no PatchList.txt the launcher reads");
  }
  index.needs = NeededPackages(index.latest, versions, index.base);
  for (const auto& [name, value] : options.values) {
    if (name != u"program") continue;
    if (const std::optional<int> failed = AddProgram(fs::path(value), dir, &index)) return *failed;
  }

  // Read back before it is written: what players will check and parse.
  std::string text = FormatReleaseIndex(index);
  std::string signed_by;
  if (signing.key) {
    const std::optional<std::string> with_signature = SignIndexText(text, *signing.key);
    if (!with_signature) return Fail("the index cannot be signed");
    text = *with_signature;
    TrustedKeys players = signing.known;
    if (players.empty()) players.release.push_back(signing.key->public_key());
    const SignatureCheck verified = CheckIndexSignature(text, players);
    if (verified.verdict != SignatureVerdict::kValid) {
      return Fail("the signed index does not verify (" + DescribeSignature(verified, players) + "); nothing written");
    }
    signed_by = signing.known.empty() ? "signed by key " + verified.key_id : DescribeSignature(verified, players);
  }
  ReleaseIndex check;
  std::string error;
  if (!ParseReleaseIndex(text, &check, &error)) return Fail("the index would be refused: " + error);
  const bool rotates = !index.trust_root.empty() || !index.trust_release.empty();
  const fs::path statement_file = dir / "keys.txt";
  if (rotates) {
    const std::optional<std::string> statement = SignedKeyStatement(signing, index);
    if (!statement) return Fail("the key statement cannot be signed or does not verify; nothing written");
    if (!WriteReplacing(statement_file, *statement)) return Fail(PathText(statement_file) + ": cannot be written");
  }
  if (!WriteReplacing(out, text)) return Fail(PathText(out) + ": cannot be written");
  std::printf("%s: serial %s, latest %s needs %zu of %zu packages, %s\n", PathText(out).c_str(), serial.c_str(),
              IndexVersionText(index.latest).c_str(), index.needs.size(), index.packages.size(),
              signed_by.empty() ? "not signed" : signed_by.c_str());
  if (rotates) {
    std::printf("%s: the keys players trust from now on, signed by the root key. Upload it beside packages.txt\n"
                "and leave it there: players who miss this index follow the rotation through it.\n"
                "Put this section in %s and in the updatecfg.ini of the next full client:\n%s",
                PathText(statement_file).c_str(),
                fs::is_directory(fs::path(signing.known_from)) ? "trust.ini" : signing.known_from.c_str(),
                TrustSection(KeysAfter(signing.known, index), index.serial).c_str());
  }
  return 0;
}
