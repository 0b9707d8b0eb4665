#include "qvk/qvk_common.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "base/text.h"
#include "package/entry_names.h"
#include "package/qvk_file.h"
#include "package/qvk_format.h"
#include "package/qvk_writer.h"
#include "qvk/qvk_platform.h"

namespace fs = std::filesystem;

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }
std::string PathText(const fs::path& path) { return U8(path.u16string()); }

int Fail(const std::string& message) {
  std::fprintf(stderr, "qvk: %s\n", message.c_str());
  return 1;
}

void Warn(const std::string& message) { std::fprintf(stderr, "qvk: warning: %s\n", message.c_str()); }

QvkArchivePtr OpenArchive(const std::u16string& path, int* status) {
  QvkArchivePtr archive(QvkOpen(path.c_str()));
  if (!archive) {
    *status = Fail(U8(path) + ": cannot open: missing, unreadable or not a valid package archive"
                   " (try qvk verify)");
  }
  return archive;
}

Progress::Progress(const char* what, int64_t total)
    : what_(what), total_(total), enabled_(StandardErrorIsTerminal()),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

Progress::~Progress() {
  if (drawn_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(what_.size()) + 48, "");
}

void Progress::Advance(int64_t done) {
  done_ += done;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  drawn_ = true;
  std::fprintf(stderr, "\rqvk: %s %lld/%lld", what_.c_str(), static_cast<long long>(done_),
               static_cast<long long>(total_));
  std::fflush(stderr);
}

bool CheckNamesDistinct(const std::vector<ArchiveInput>& inputs, std::string* error) {
  std::vector<std::u16string> names;
  names.reserve(inputs.size());
  for (const ArchiveInput& input : inputs) names.push_back(input.name);
  const std::vector<NameCollision> collisions = FindNameCollisions(names);
  if (collisions.empty()) return true;
  const NameCollision& c = collisions.front();
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08X", static_cast<unsigned>(QvkNameHash(names[c.first])));
  *error = "\"" + EscapeNameForLine(names[c.first]) + "\" and \"" +
           EscapeNameForLine(names[c.second]) + "\" collide: " +
           (c.same_hash_only ? std::string("same stored name hash ") + hash
                             : std::string("same name up to the case of a-z")) +
           "; the archive could only ever find the first";
  if (collisions.size() > 1) {
    *error += " (" + std::to_string(collisions.size() - 1) + " more collisions)";
  }
  return false;
}

bool WriteArchiveReplacing(const fs::path& archive, const std::vector<ArchiveInput>& inputs,
                           Progress* progress, std::string* error) {
  fs::path temp = archive;
  temp += ".tmp";
  std::unique_ptr<QvkFile> out = QvkDefaultFileSystem().Create(temp.u16string().c_str());
  if (!out) {
    *error = PathText(temp) + ": cannot create the temporary archive";
    return false;
  }
  QvkWriter writer(out.get());
  for (const ArchiveInput& input : inputs) {
    bool stored = false;
    if (input.from_memory) {
      stored = writer.AddEntry(input.name, input.data.data(), input.data.size());
    } else {
      std::unique_ptr<QvkFile> in =
          QvkDefaultFileSystem().OpenForRead(input.source.u16string().c_str());
      if (!in) {
        *error = PathText(input.source) + ": cannot read";
        break;
      }
      stored = writer.AddEntryFrom(input.name, in.get());
    }
    if (!stored) {
      *error = EscapeNameForLine(input.name) +
               ": cannot store (name over 32767 characters, archive over 2 GiB, or a write"
               " failed: disk full?)";
      break;
    }
    if (progress) progress->Advance();
  }
  if (error->empty() && !writer.Finish()) *error = PathText(temp) + ": cannot write the directory";
  if (!out->Close() && error->empty()) *error = PathText(temp) + ": cannot close (disk full?)";
  out.reset();
  std::error_code ec;
  if (error->empty()) {
    fs::rename(temp, archive, ec);
    if (ec) *error = PathText(archive) + ": cannot replace it with the new archive: " + ec.message();
  }
  if (!error->empty()) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool Options::Has(const char16_t* name) const {
  for (const auto& [key, value] : values) {
    if (key == name) return true;
  }
  return false;
}

std::u16string Options::FirstUnknown(std::initializer_list<const char16_t*> known) const {
  for (const auto& [key, value] : values) {
    bool found = false;
    for (const char16_t* name : known) found = found || key == name;
    if (!found) return key;
  }
  return {};
}

std::u16string Options::Value(const char16_t* name, const std::u16string& fallback) const {
  for (const auto& [key, value] : values) {
    if (key == name) return value;
  }
  return fallback;
}

Options TakeOptions(std::vector<std::u16string>* args) {
  Options options;
  std::vector<std::u16string> rest;
  bool only_operands = false;
  for (const std::u16string& arg : *args) {
    if (!only_operands && arg == u"--") {
      only_operands = true;
    } else if (!only_operands && arg.size() > 2 && arg.compare(0, 2, u"--") == 0) {
      const size_t eq = arg.find(u'=');
      options.values.emplace_back(arg.substr(2, eq == std::u16string::npos ? eq : eq - 2),
                                  eq == std::u16string::npos ? u"" : arg.substr(eq + 1));
    } else {
      rest.push_back(arg);
    }
  }
  *args = std::move(rest);
  return options;
}

bool HashFile(const fs::path& path, uint64_t* size, Sha256Digest* digest) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  Sha256 hash;
  std::vector<char> buffer(1 << 20);
  *size = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<size_t>(in.gcount());
    hash.Update(buffer.data(), got);
    *size += got;
  }
  return in.eof() && hash.Final(digest);
}
