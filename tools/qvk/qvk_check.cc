// qvk check INSTALLATION: reads an installation the way the launcher would
// and tells what it would decide, changing nothing. The decisions are the
// launcher's own functions; this file only gathers their inputs from disk
// and follows the launcher's order of steps.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include "app/housekeeping.h"
#include "base/text.h"
#include "base/version.h"
#include "hardware/graphics_level.h"
#include "hardware/level_table.h"
#include "hardware/level_table_source.h"
#include "package/entry_names.h"
#include "package/patch_list.h"
#include "package/qvk_archive.h"
#include "package/index_signature.h"
#include "package/release_index.h"
#include "qvk/qvk_commands.h"
#include "qvk/qvk_ini.h"
#include "qvk/qvk_keys.h"
#include "qvk/qvk_manifest_io.h"
#include "qvk/qvk_platform.h"
#include "serverlist/server_list_parser.h"
#include "ui/exe_refresh.h"
#include "update/download_plan.h"
#include "update/exe_source.h"
#include "update/link_source.h"
#include "update/package_check.h"
#include "update/serverlist_download.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kExeKeyBytes = 255;

// The findings, printed as "name: value" lines or as one JSON object.
class Report {
 public:
  void Text(const std::string& name, const std::string& value) {
    Add(name, JsonString(std::string_view(value)), value);
  }
  void Number(const std::string& name, long long value) {
    Add(name, std::to_string(value), std::to_string(value));
  }
  void Flag(const std::string& name, bool value) {
    Add(name, value ? "true" : "false", value ? "yes" : "no");
  }
  void List(const std::string& name, const std::vector<std::string>& values) {
    std::string json = "[", text;
    for (size_t i = 0; i < values.size(); ++i) {
      json += (i ? ", " : "") + JsonString(std::string_view(values[i]));
      text += (i ? ", " : "") + values[i];
    }
    Add(name, json + "]", values.empty() ? "(none)" : text);
  }
  // Raw JSON with its text form.
  void Add(const std::string& name, const std::string& json, const std::string& text) {
    items_.push_back({name, json, text});
  }
  void Print(bool json) const {
    if (json) {
      std::printf("{");
      for (size_t i = 0; i < items_.size(); ++i) {
        std::printf("%s\n  %s: %s", i ? "," : "", JsonString(std::string_view(JsonKey(items_[i].name))).c_str(),
                    items_[i].json.c_str());
      }
      std::printf("\n}\n");
      return;
    }
    for (const Item& item : items_) std::printf("%s: %s\n", item.name.c_str(), item.text.c_str());
  }

 private:
  struct Item {
    std::string name, json, text;
  };
  // "link.ini from" -> "link_ini_from": keys scripts can name.
  static std::string JsonKey(const std::string& name) {
    std::string key;
    for (char c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      key += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    }
    return key;
  }
  std::vector<Item> items_;
};

std::string ReadBytes(const fs::path& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::ostringstream out;
  if (in) out << in.rdbuf();
  return out.str();
}

struct Ini {
  bool exists = false;
  std::u16string text;
};

Ini ReadIni(const fs::path& path, unsigned code_page) {
  Ini ini;
  const std::string bytes = ReadBytes(path, &ini.exists);
  ini.text = IniFileText(bytes, &DecodeCodePage, code_page);
  return ini;
}

std::u16string IniText(const Ini& ini, const char16_t* section, const char16_t* key) {
  return IniValue(ini.text, section, key).value_or(u"");
}

std::string Dotted(VersionNumber v) {
  const std::optional<VersionParts> parts = SplitVersion(v);
  return FiveDigitForm(v) + (parts ? " (" + DottedForm(*parts) + ")" : "");
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::u8path(path), ec);
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Whether the archive at `path` opens and holds `entry`: "present",
// "entry missing" or "archive missing or unreadable".
std::string EntryState(const std::string& path, const std::u16string& entry) {
  QvkArchivePtr archive(QvkOpen(Wide(path).c_str()));
  if (!archive) return "archive missing or unreadable";
  const QvkEntryPtr found(QvkOpenEntry(archive.get(), entry.c_str()));
  return found ? "present" : "entry missing";
}

std::vector<std::u16string> ListSystem(const char16_t* suffix) {
  std::vector<std::u16string> names;
  std::error_code ec;
  for (fs::directory_iterator it("System", ec), end; !ec && it != end; it.increment(ec)) {
    std::u16string name = it->path().filename().u16string();
    if (name.size() >= 4 && FoldEntryName(name.substr(name.size() - 4)) == FoldEntryName(suffix)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

// What the download program would fetch, by its own rules: the packages the
// index's latest version needs that are missing in System or differ from the
// index in size or SHA-256. False if any, or if the index is malformed,
// expired or for another base.
bool CheckAgainstIndex(const std::string& text, const std::string& name, const std::string& statement_text,
                       VersionNumber base, VersionNumber current, Report* report) {
  // The signature first, against the installation's keys, as the download program does.
  TrustedKeys keys;
  std::string error;
  uint64_t keys_serial = 0;
  if (!ReadTrustedKeys(".", &keys, &error, &keys_serial)) {
    report->Text("index", name + ": refused: the installation's keys cannot be read: " + error);
    return false;
  }
  SignatureCheck signature = CheckIndexSignature(text, keys);
  KeyStatement statement;
  if (signature.verdict == SignatureVerdict::kUnknownKey && !keys.root.empty() &&
      CheckIndexSignature(statement_text, keys).verdict == SignatureVerdict::kValid &&
      CheckIndexSignature(statement_text, keys).role == KeyRole::kRoot &&
      ParseKeyStatement(statement_text, &statement, &error) && TrustRecordsAreNewer(statement.serial, keys_serial)) {
    // An installation that missed the rotation follows it through keys.txt.
    keys = KeysAfter(keys, statement.trust_root, statement.trust_release);
    signature = CheckIndexSignature(text, keys);
  }
  if (!keys.empty() && signature.verdict != SignatureVerdict::kValid) {
    report->Text("index", name + ": refused: " + DescribeSignature(signature, keys) +
                              " (the installation trusts root " + std::to_string(keys.root.size()) +
                              " and release " + std::to_string(keys.release.size()) + " keys)");
    return false;
  }
  ReleaseIndex index;
  if (!ParseReleaseIndex(text, &index, &error)) {
    report->Text("index", name + ": refused: " + error);
    return false;
  }
  if (!keys.empty() && !TrustRecordsAllowed(index, signature)) {
    report->Text("index", name + ": refused: it names keys to trust but is " + DescribeSignature(signature, keys) +
                              ": only a root key may sign trust records");
    return false;
  }
  std::string about = name + ": serial " + std::to_string(index.serial) + ", latest " +
                      IndexVersionText(index.latest) + ", " + DescribeSignature(signature, keys) +
                      (keys.empty() ? " (the installation has no keys: players take it unchecked)" : "");
  switch (JudgeIndex(index, base, 0, static_cast<int64_t>(std::time(nullptr)))) {
    case IndexVerdict::kOtherBase:
      report->Text("index", about + "; for base " + IndexVersionText(index.base) +
                                ", not this installation's: the full client is needed");
      return false;
    case IndexVerdict::kExpired:
      report->Text("index", about + "; expired at " + FormatUtcTime(index.expires) + ": players refuse it");
      return false;
    case IndexVerdict::kOlderSerial:
    case IndexVerdict::kUsable:
      report->Text("index", about);
      break;
  }
  std::map<VersionNumber, LocalPackage> local;
  const DownloadPlan plan = PlanDownload(index, current, [&local](VersionNumber v) {
    LocalPackage& l = local[v];
    const std::string path = PatchPackagePath(v);
    uint64_t size = 0;
    Sha256Digest digest;
    l.present = IsFile(path);
    if (l.present && HashFile(fs::u8path(path), &size, &digest)) {
      l.size = size;
      l.sha256 = digest;
    }
    return l;
  });
  std::vector<std::string> needed, missing, damaged;
  for (VersionNumber v : index.needs) needed.push_back(PatchPackagePath(v));
  for (const PackageToFetch& f : plan.fetch) {
    const std::string path = PatchPackagePath(f.version);
    const LocalPackage& l = local[f.version];
    if (!f.replaces_damaged) {
      missing.push_back(path);
    } else if (!l.sha256) {
      damaged.push_back(path + " (cannot be read)");
    } else if (l.size != f.size) {
      damaged.push_back(path + " (size " + std::to_string(l.size) + ", expected " + std::to_string(f.size) + ")");
    } else {
      damaged.push_back(path + " (SHA-256 " + Sha256Hex(*l.sha256) + ", expected " + Sha256Hex(f.sha256) + ")");
    }
  }
  report->List("packages the index needs", needed);
  report->List("needed packages missing", missing);
  report->List("needed packages damaged", damaged);
  return plan.fetch.empty();
}

}  // namespace

int CheckCommand(const Operands& args, const Options& options) {
  if (args.size() != 1) return Usage();
  const bool json = options.Has(u"json");
  unsigned code_page = DefaultCodePage();
  if (options.Has(u"codepage")) {
    code_page = ParseCodePage(options.Value(u"codepage"));
    std::string probe;
    if (code_page == 0 || !EncodeCodePage(u"a", code_page, &probe)) {
      return Fail("--codepage=" + U8(options.Value(u"codepage")) + ": unknown code page");
    }
  }
  // A release index to check the installation against, read before the
  // working directory becomes the installation.
  std::string index_text, statement_text;  // the index and the key statement beside it
  bool index_read = false;
  if (options.Has(u"index")) {
    index_text = ReadBytes(fs::path(options.Value(u"index")), &index_read);
    if (!index_read) return Fail(U8(options.Value(u"index")) + ": cannot be read");
    bool statement_read = false;
    statement_text = ReadBytes(fs::path(options.Value(u"index")).parent_path() / "keys.txt", &statement_read);
  }
  const fs::path root(args[0]);
  std::error_code ec;
  if (!fs::is_directory(root / "System", ec)) {
    return Fail(PathText(root) + ": not an installation (no System folder)");
  }
  // Every path the launcher uses is relative to the installation.
  fs::current_path(root, ec);
  if (ec) return Fail(PathText(root) + ": cannot enter: " + ec.message());

  Report report;
  report.Text("installation", PathText(root));
  const Ini update_ini = ReadIni("update.ini", code_page);
  const Ini config_ini = ReadIni("updatecfg.ini", code_page);
  const VersionNumber current = ParseVersionText(IniText(update_ini, u"Setting", u"Version"));
  const VersionNumber base = ParseVersionText(IniText(config_ini, u"run", u"base_version"));
  std::u16string game_exe = IniText(config_ini, u"run", u"game_exe");
  if (game_exe.size() > kGameExeNameChars) game_exe.resize(kGameExeNameChars);
  report.Text("current version", Dotted(current) + (update_ini.exists ? "" : ", update.ini missing"));
  report.Text("base version", Dotted(base) + (config_ini.exists ? "" : ", updatecfg.ini missing"));
  report.Text("game executable", U8(game_exe));
  // The required version: as the operator says, or from the list the last
  // run stored (the launcher itself uses the list it downloads).
  std::optional<VersionNumber> required;
  if (options.Has(u"required")) {
    required = ParseVersionText(options.Value(u"required"));
    report.Text("required version", Dotted(*required) + " (--required)");
  } else if (ServerList stored; ParseServerListFile(kStoredServerListPath, stored)) {
    required = stored.required_version;
    report.Text("required version", Dotted(*required) + " (the server list stored by the last run)");
  } else {
    report.Text("required version", "unknown offline (no stored server list; see --required)");
  }

  const PackageExists exists = [](VersionNumber v) { return IsFile(PatchPackagePath(v)); };
  std::vector<std::string> messages;
  bool starts = true;

  auto missing = [&](const PackageCheckResult& result) {
    report.Text("missing packages", result.missing_text);
    report.Text("rewind update.ini Version to", result.rewind.value_or("(nothing written)"));
    messages.push_back("293 (missing packages: " + result.missing_text + ")");
    starts = false;
  };

  // The worker: the current package, the manifest, the link configuration,
  // the package check and the clean-up.
  const bool current_needed = current > base;
  report.Text("current package", current_needed
                                     ? PatchPackagePath(current) +
                                           (exists(current) ? " (present)" : " (missing)")
                                     : "none needed (current version not above the base)");
  const PackageCheckResult current_check = JudgeCurrentPackage(current, base, exists);
  PatchListIndex worker_index;
  std::vector<int32_t> worker_versions;
  if (current_check.missing) {
    missing(current_check);
  } else {
    const bool loaded = LoadPatchList(current, &worker_index, &worker_versions) == 1;
    report.Text("manifest", loaded ? "loaded, " + std::to_string(worker_index.CountKeys()) + " records"
                                   : "not loaded (package missing or unreadable, no PatchList.txt,"
                                     " or a malformed record): no package check, no clean-up");
    ManifestLinkEntry link_entry;
    if (const std::optional<PatchListEntry> found = worker_index.Find("LINK.INI")) {
      link_entry = {true, found->entry_name, found->version};
    }
    const LinkSourceChoice link = ChooseLinkSource(IsFile("System/linkconfig.ini"), link_entry, base);
    if (link.source == LinkSource::kLocalFile) {
      report.Text("link.ini from", "System/linkconfig.ini");
    } else {
      std::u16string entry;
      if (!DecodeCodePage(link.entry, code_page, &entry)) entry = Wide(link.entry);
      report.Text("link.ini from", link.archive + " entry " + link.entry + " (" +
                                       EntryState(link.archive, entry) + ")");
    }
    if (loaded) {
      std::vector<VersionNumber> versions(worker_versions.begin(), worker_versions.end());
      std::string packages_json = "[", packages_text;
      for (VersionNumber v : versions) {
        const bool held = HeldInPatchPackage(v, base);
        const std::string state = !held ? "base archives" : exists(v) ? "present" : "missing";
        packages_json += std::string(packages_json.size() > 1 ? ", " : "") + "{\"version\": " +
                         std::to_string(v) + ", \"package\": " +
                         JsonString(std::string_view(PatchPackagePath(v))) + ", \"state\": \"" +
                         state + "\"}";
        packages_text += "\n  " + PatchPackagePath(v) + ": " + state;
      }
      report.Add("packages named by the manifest", packages_json + "]",
                 packages_text.empty() ? "(none)" : packages_text);
      const PackageCheckResult manifest_check = JudgeManifestPackages(versions, base, exists);
      if (manifest_check.missing) {
        missing(manifest_check);
      } else {
        std::vector<std::string> stale;
        for (const std::u16string& name : StalePackages(ListSystem(u".qvk"), versions, base, current)) {
          stale.push_back("System/" + U8(name));
        }
        report.List("clean-up would delete", stale);
      }
    }
  }

  // The window side: the required version, the executable refresh, the
  // level table, the launch.
  if (starts && required && current < *required) {
    messages.push_back("278 (the current version is below the required " + Dotted(*required) + ")");
    starts = false;
  }
  if (starts) {
    const std::u16string upper = AsciiUpper(game_exe);
    std::string key;
    if (!EncodeCodePage(upper, code_page, &key)) key = U8(upper);
    if (key.size() > kExeKeyBytes) key.resize(kExeKeyBytes);
    PatchListIndex window_index;
    std::u16string launch_name = game_exe;
    std::string exe_from = "System/" + U8(game_exe) + " as installed";
    QvkArchivePtr package(QvkOpen(Wide(PatchPackagePath(current)).c_str()));
    if (package) {
      std::string text;
      if (QvkReadAll(package.get(), u"PatchList.txt", &text) != 0 ||
          !ParsePatchList(std::move(text), PatchListMode::kWindow, &window_index, nullptr)) {
        messages.push_back("271 (the current package's PatchList.txt is missing, unreadable or"
                           " malformed)");
        starts = false;
      } else {
        const ExeSource source = ChooseExeSource(window_index, key, base);
        if (source.from_package) {
          const std::string path = PatchPackagePath(source.version);
          const std::string state = EntryState(path, upper);
          if (state != "present") {
            messages.push_back("271 (" + path + ": " + state + " for the executable " + U8(upper) + ")");
            starts = false;
          }
          exe_from = path + " entry " + U8(upper) + " (" + state + ")";
        } else if (source.in_manifest) {
          exe_from += " (its record names " + FiveDigitForm(source.version) + ", not above the base)";
        }
      }
    }
    report.Text("game executable from", exe_from);
    if (starts && exe_from.find(" as installed") != std::string::npos &&
        (game_exe.empty() || !IsFile("System/" + U8(game_exe)))) {
      messages.push_back("277 (System/" + U8(game_exe) + " does not exist: the game cannot start)");
      starts = false;
    }

    const LevelTableSource level = SelectLevelTableSource(LevelTablePatchVersion(window_index), base);
    QvkArchivePtr level_archive(QvkOpen(Wide(level.archive_path).c_str()));
    std::string table;
    const bool read = level_archive &&
                      QvkReadAll(level_archive.get(), Wide(level.entry_name).c_str(), &table) == 0;
    const LevelTable parsed = ParseLevelTableBytes(
        reinterpret_cast<const unsigned char*>(table.data()), std::min(table.size(), kMaxLevelTableFileBytes));
    report.Text("level table", level.archive_path + " entry " + level.entry_name + ": " +
                                   (read ? std::to_string(parsed.size()) + " entries"
                                         : std::string("cannot be read (GraphicsCount:0)")));

    std::vector<std::string> strays;
    const std::u16string pattern = TempCopyPattern(GameBaseName(game_exe));
    for (const std::u16string& name : ListSystem(u".exe")) {
      if (IsTempCopy(name, pattern)) strays.push_back("System/" + U8(name));
    }
    report.List("fallback copies the start-up removes", strays);
  }
  report.List("messages", messages);
  report.Flag("starts the game", starts);
  bool complete = true;
  if (index_read) {
    complete = CheckAgainstIndex(index_text, U8(options.Value(u"index")), statement_text, base, current, &report);
  }
  report.Print(json);
  return starts && complete ? 0 : 1;
}
