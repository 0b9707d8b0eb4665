#include "package/release_index.h"

#include <algorithm>
#include <cstdio>

#include "package/index_signature.h"

namespace {

constexpr size_t kMaxFieldBytes = 1024;


bool ParseDecimal(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

// A version as the index writes it: its dotted text exactly, above 0.
bool ParseIndexVersion(std::string_view text, VersionNumber* version) {
  if (text.empty() || text.size() > 16) return false;
  for (char c : text) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  const VersionNumber v = ParseVersionText(text);
  if (v == 0 || IndexVersionText(v) != text) return false;
  *version = v;
  return true;
}

bool IsUrlForMirror(std::string_view url) {
  size_t host = 0;
  if (url.rfind("http://", 0) == 0) host = 7;
  if (url.rfind("https://", 0) == 0) host = 8;
  if (host == 0 || url.size() <= host || url[host] == '/' || url.back() != '/') return false;
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  }
  return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, int64_t* value) {
  int64_t v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

}  // namespace

std::vector<std::string_view> IndexFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? line.npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool IndexLines::Next(std::string_view* line) {
  while (start_ < text_.size()) {
    size_t end = text_.find('\n', start_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view next = text_.substr(start_, end - start_);
    start_ = end + 1;
    ++line_number_;
    if (!next.empty() && next.back() == '\r') next.remove_suffix(1);
    if (next.empty() || next[0] == '#') continue;
    *line = next;
    return true;
  }
  return false;
}

std::string IndexVersionText(VersionNumber version) {
  const std::optional<VersionParts> parts = SplitVersion(version);
  return parts ? DottedForm(*parts) : std::string();
}

bool ParseUtcTime(std::string_view t, int64_t* seconds) {
  // YYYY-MM-DDTHH:MM:SSZ
  if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
      t[19] != 'Z') {
    return false;
  }
  int64_t y, mo, d, h, mi, s;
  if (!Digits(t, 0, 4, &y) || !Digits(t, 5, 2, &mo) || !Digits(t, 8, 2, &d) || !Digits(t, 11, 2, &h) ||
      !Digits(t, 14, 2, &mi) || !Digits(t, 17, 2, &s)) {
    return false;
  }
  static const int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] || h > 23 || mi > 59 || s > 59) {
    return false;
  }
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo == 2 && d == 29 && !leap) return false;
  *seconds = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

std::string FormatUtcTime(int64_t seconds) {
  // The inverse of DaysFromCivil.
  const int64_t days = seconds / 86400 - (seconds % 86400 < 0);
  const int64_t rest = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  const int64_t y = yoe + era * 400 + (m <= 2);
  char text[128];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rest / 3600),
                static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
  return text;
}

std::vector<VersionNumber> NeededPackages(VersionNumber latest,
                                          const std::vector<int32_t>& manifest_versions,
                                          VersionNumber base) {
  std::vector<VersionNumber> needs;
  if (HeldInPatchPackage(latest, base)) needs.push_back(latest);
  for (int32_t v : manifest_versions) {
    const auto version = static_cast<VersionNumber>(v);
    if (HeldInPatchPackage(version, base)) needs.push_back(version);
  }
  std::sort(needs.begin(), needs.end());
  needs.erase(std::unique(needs.begin(), needs.end()), needs.end());
  return needs;
}

std::string ServedProgramName(const std::string& installed_name, const Sha256Digest& sha256) {
  const size_t dot = installed_name.rfind('.');
  return installed_name.substr(0, dot) + "-" + Sha256Hex(sha256).substr(0, 16) +
         (dot == std::string::npos ? "" : installed_name.substr(dot));
}

const IndexedPackage* ReleaseIndex::Find(VersionNumber version) const {
  const auto it = std::lower_bound(packages.begin(), packages.end(), version,
                                   [](const IndexedPackage& p, VersionNumber v) { return p.version < v; });
  return it != packages.end() && it->version == version ? &*it : nullptr;
}

bool ParseReleaseIndex(std::string_view text, ReleaseIndex* index, std::string* error) {
  ReleaseIndex out;
  size_t line_number = 0;
  std::string problem;
  const auto fail = [&](size_t line, const std::string& what) {
    *error = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  if (text.size() > kMaxReleaseIndexBytes) return fail(0, "larger than the 1 MiB an index may have");
  bool seen_format = false, seen_serial = false, seen_expires = false, seen_base = false;
  bool seen_latest = false, seen_needs = false, seen_signature = false;
  size_t needs_line = 0;
  std::vector<std::pair<VersionNumber, size_t>> package_lines;  // version, line
  IndexLines lines(text);
  for (std::string_view line; lines.Next(&line);) {
    line_number = lines.line_number();
    if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      return fail(line_number, "a carriage return or zero byte inside the line");
    }
    const std::vector<std::string_view> f = IndexFields(line);
    const std::string_view record = f[0];
    for (std::string_view field : f) {
      if (field.empty()) return fail(line_number, "an empty field (fields are separated by one tab)");
      // The needs list grows with the release history; the index's own limit bounds it.
      if (field.size() > kMaxFieldBytes && record != "needs") {
        return fail(line_number, "a field longer than 1024 bytes");
      }
    }
    const auto want_fields = [&](size_t count) {
      if (f.size() == count) return true;
      problem = "\"" + std::string(record) + "\" takes " + std::to_string(count - 1) + " field" +
                (count == 2 ? "" : "s") + ", not " + std::to_string(f.size() - 1);
      return false;
    };
    const auto once = [&](bool* seen) {
      if (!*seen) return *seen = true;
      problem = "a second \"" + std::string(record) + "\" record";
      return false;
    };
    if (!seen_format && record != "format") return fail(line_number, "the first record is not \"format\"");
    if (seen_signature) return fail(line_number, "a record after the signature record");
    if (record == "format") {
      if (!once(&seen_format) || !want_fields(2)) return fail(line_number, problem);
      if (f[1] != "1") return fail(line_number, "format " + std::string(f[1]) + " is not format 1");
    } else if (record == "serial") {
      if (!once(&seen_serial) || !want_fields(2)) return fail(line_number, problem);
      if (!ParseDecimal(f[1], &out.serial)) return fail(line_number, "the serial is not a decimal number");
    } else if (record == "expires") {
      if (!once(&seen_expires) || !want_fields(2)) return fail(line_number, problem);
      if (!ParseUtcTime(f[1], &out.expires) || out.expires == 0) {
        return fail(line_number, "the expiry is not a time YYYY-MM-DDTHH:MM:SSZ");
      }
    } else if (record == "base" || record == "latest") {
      if (!once(record == "base" ? &seen_base : &seen_latest) || !want_fields(2)) {
        return fail(line_number, problem);
      }
      if (!ParseIndexVersion(f[1], record == "base" ? &out.base : &out.latest)) {
        return fail(line_number, "\"" + std::string(f[1]) + "\" is not a version M.m.b");
      }
    } else if (record == "needs") {
      if (!once(&seen_needs) || !want_fields(2)) return fail(line_number, problem);
      needs_line = line_number;
      for (size_t at = 0; at <= f[1].size();) {
        size_t blank = f[1].find(' ', at);
        if (blank == std::string_view::npos) blank = f[1].size();
        VersionNumber v = 0;
        const std::string_view word = f[1].substr(at, blank - at);
        if (!ParseIndexVersion(word, &v)) {
          return fail(line_number, "\"" + std::string(word) + "\" is not a version M.m.b");
        }
        out.needs.push_back(v);
        at = blank + 1;
      }
    } else if (record == "mirror") {
      if (!want_fields(2)) return fail(line_number, problem);
      if (!IsUrlForMirror(f[1])) return fail(line_number, "a mirror is an http or https URL ending in /");
      out.mirrors.emplace_back(f[1]);
    } else if (record == "package") {
      if (!want_fields(5)) return fail(line_number, problem);
      IndexedPackage p;
      if (!ParseIndexVersion(f[1], &p.version)) {
        return fail(line_number, "\"" + std::string(f[1]) + "\" is not a version M.m.b");
      }
      p.file_name = std::string(f[2]);
      if (p.file_name != "Verpatch" + FiveDigitForm(p.version) + ".qvk") {
        return fail(line_number, "the file of version " + std::string(f[1]) + " is Verpatch" +
                                     FiveDigitForm(p.version) + ".qvk, not " + p.file_name);
      }
      if (!ParseDecimal(f[3], &p.size)) return fail(line_number, "the size is not a decimal number");
      // Sums of sizes stay far from overflow, whatever an index holds.
      if (p.size > kMaxPackageBytes) return fail(line_number, "the size is above 1 TiB");
      if (!ParseSha256Hex(f[4], &p.sha256)) return fail(line_number, "the SHA-256 is not 64 hex digits");
      package_lines.push_back({p.version, line_number});
      out.packages.push_back(std::move(p));
    } else if (record == "program") {
      if (!want_fields(5)) return fail(line_number, problem);
      IndexedProgram p;
      p.installed_name = std::string(f[1]);
      if (std::find(std::begin(kUpdatablePrograms), std::end(kUpdatablePrograms), p.installed_name) ==
          std::end(kUpdatablePrograms)) {
        return fail(line_number, "a program is launcher.exe or downloader.exe, not " + p.installed_name);
      }
      for (const IndexedProgram& seen : out.programs) {
        if (seen.installed_name == p.installed_name) return fail(line_number, "a second record for " + p.installed_name);
      }
      if (!ParseDecimal(f[3], &p.size)) return fail(line_number, "the size is not a decimal number");
      if (p.size > kMaxProgramBytes) return fail(line_number, "the size is above 256 MiB");
      if (!ParseSha256Hex(f[4], &p.sha256)) return fail(line_number, "the SHA-256 is not 64 hex digits");
      p.served_name = std::string(f[2]);
      if (p.served_name != ServedProgramName(p.installed_name, p.sha256)) {
        return fail(line_number, "the served name of " + p.installed_name + " is " +
                                     ServedProgramName(p.installed_name, p.sha256) + ", not " + p.served_name);
      }
      out.programs.push_back(std::move(p));
    } else if (record == "trust") {
      if (!want_fields(3)) return fail(line_number, problem);
      EcPublicKey key;
      if (f[1] != "root" && f[1] != "release") return fail(line_number, "a trust record is for root or release");
      if (!ParsePublicKeyText(f[2], &key)) return fail(line_number, "not a public key (base64 of 65 bytes)");
      std::vector<EcPublicKey>& role = f[1] == "root" ? out.trust_root : out.trust_release;
      if (role.size() == kMaxKeysPerRole) {
        return fail(line_number, "more than " + std::to_string(kMaxKeysPerRole) + " keys of one role");
      }
      role.push_back(key);
    } else if (record == "signature") {
      // Checked over the raw bytes before parsing; here only its place.
      if (!once(&seen_signature) || !want_fields(3)) return fail(line_number, problem);
    } else {
      return fail(line_number, "unknown record \"" + std::string(record) + "\"");
    }
  }
  if (!seen_format) return fail(0, "no \"format\" record: not a release index");
  if (!seen_serial) return fail(0, "no \"serial\" record");
  if (!seen_base) return fail(0, "no \"base\" record");
  if (!seen_latest) return fail(0, "no \"latest\" record");
  if (!seen_needs) return fail(0, "no \"needs\" record");
  if (out.latest <= out.base) return fail(0, "the latest version is not above the base");
  // Sorted once, so that a long hostile index costs n log n, not n squared.
  std::sort(package_lines.begin(), package_lines.end());
  for (size_t i = 1; i < package_lines.size(); ++i) {
    if (package_lines[i].first == package_lines[i - 1].first) {
      return fail(std::max(package_lines[i].second, package_lines[i - 1].second),
                  "a second package record for " + IndexVersionText(package_lines[i].first));
    }
  }
  std::sort(out.packages.begin(), out.packages.end(),
            [](const IndexedPackage& a, const IndexedPackage& b) { return a.version < b.version; });
  std::sort(out.needs.begin(), out.needs.end());
  if (std::adjacent_find(out.needs.begin(), out.needs.end()) != out.needs.end()) {
    return fail(needs_line, "a version named twice");
  }
  if (!std::binary_search(out.needs.begin(), out.needs.end(), out.latest)) {
    return fail(needs_line, "the latest version is not among the needed ones");
  }
  for (VersionNumber v : out.needs) {
    if (v <= out.base || v > out.latest) {
      return fail(needs_line, IndexVersionText(v) + " is not above the base and up to the latest");
    }
    if (out.Find(v) == nullptr) return fail(needs_line, "no package record for " + IndexVersionText(v));
  }
  *index = std::move(out);
  return true;
}

std::string FormatReleaseIndex(const ReleaseIndex& index) {
  std::string text = "format\t1\nserial\t" + std::to_string(index.serial) + "\n";
  if (index.expires != 0) text += "expires\t" + FormatUtcTime(index.expires) + "\n";
  text += "base\t" + IndexVersionText(index.base) + "\nlatest\t" + IndexVersionText(index.latest) + "\nneeds\t";
  for (size_t i = 0; i < index.needs.size(); ++i) {
    text += (i ? " " : "") + IndexVersionText(index.needs[i]);
  }
  text += "\n";
  for (const std::string& mirror : index.mirrors) text += "mirror\t" + mirror + "\n";
  for (const IndexedPackage& p : index.packages) {
    text += "package\t" + IndexVersionText(p.version) + "\t" + p.file_name + "\t" + std::to_string(p.size) +
            "\t" + Sha256Hex(p.sha256) + "\n";
  }
  for (const IndexedProgram& p : index.programs) {
    text += "program\t" + p.installed_name + "\t" + p.served_name + "\t" + std::to_string(p.size) + "\t" +
            Sha256Hex(p.sha256) + "\n";
  }
  for (const EcPublicKey& key : index.trust_root) text += "trust\troot\t" + PublicKeyText(key) + "\n";
  for (const EcPublicKey& key : index.trust_release) text += "trust\trelease\t" + PublicKeyText(key) + "\n";
  return text;
}
