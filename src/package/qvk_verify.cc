#include "package/qvk_verify.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "base/text.h"
#include "package/qvk_format.h"

namespace {

constexpr size_t kMaxProblems = 100;

class Problems {
 public:
  void Add(std::string text) {
    if (lines_.size() < kMaxProblems) {
      lines_.push_back(std::move(text));
    } else {
      ++more_;
    }
  }
  std::vector<std::string> Take() {
    if (more_ > 0) lines_.push_back("(" + std::to_string(more_) + " more problems)");
    return std::move(lines_);
  }

 private:
  std::vector<std::string> lines_;
  size_t more_ = 0;
};

struct Span {
  int64_t begin;
  int64_t end;
  std::string what;
};

std::string Describe(int32_t index, const std::u16string& name) {
  return "record " + std::to_string(index) + " \"" + Utf16ToUtf8(name) + "\"";
}


}  // namespace

std::vector<std::string> QvkVerify(QvkFile* file) {
  Problems problems;
  const int64_t file_size = file == nullptr ? -1 : file->Size();
  uint8_t trailer[kQvkTrailerSize];
  if (file_size < kQvkTrailerSize) {
    problems.Add("file is shorter than the 16-byte trailer");
    return problems.Take();
  }
  if (!file->Seek(file_size - kQvkTrailerSize) ||
      file->Read(trailer, sizeof trailer) != sizeof trailer) {
    problems.Add("cannot read the trailer");
    return problems.Take();
  }
  if (std::memcmp(trailer, kQvkMagic, sizeof kQvkMagic) != 0) {
    problems.Add("bad magic in the trailer");
    return problems.Take();
  }
  const int32_t count = static_cast<int32_t>(QvkLoad32(trailer + 4));
  const int32_t dir_size = static_cast<int32_t>(QvkLoad32(trailer + 8));
  const int32_t dir_offset = static_cast<int32_t>(QvkLoad32(trailer + 12));
  if (count < 0 || dir_size < 0 || dir_offset < 0) {
    problems.Add("negative record count, directory size or directory offset");
    return problems.Take();
  }
  if (static_cast<int64_t>(dir_offset) + dir_size > file_size - kQvkTrailerSize) {
    problems.Add("directory runs past the start of the trailer");
    return problems.Take();
  }
  std::unique_ptr<uint8_t[]> dir(new uint8_t[dir_size == 0 ? 1 : dir_size]);
  if (!file->Seek(dir_offset) ||
      file->Read(dir.get(), static_cast<size_t>(dir_size)) != static_cast<size_t>(dir_size)) {
    problems.Add("cannot read the directory");
    return problems.Take();
  }
  QvkUnscramble(kQvkDirectoryKey, kQvkDirectoryKeyLength, dir.get(),
                static_cast<size_t>(dir_size), 0);

  std::vector<Span> spans;
  spans.push_back({dir_offset, static_cast<int64_t>(dir_offset) + dir_size, "the directory"});
  spans.push_back({file_size - kQvkTrailerSize, file_size, "the trailer"});
  std::unordered_map<uint32_t, int32_t> by_hash;
  std::unordered_map<std::u16string, int32_t> by_name;

  size_t pos = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (static_cast<size_t>(dir_size) - pos < static_cast<size_t>(kQvkRecordHeaderSize)) {
      problems.Add("record " + std::to_string(i) + " runs past the end of the directory (" +
                   std::to_string(count) + " records announced)");
      return problems.Take();
    }
    const uint8_t* r = dir.get() + pos;
    const int16_t n = static_cast<int16_t>(QvkLoad16(r + 1));
    if (n < 0) {
      problems.Add("record " + std::to_string(i) + " has a negative name length");
      return problems.Take();
    }
    const size_t record_size = kQvkRecordHeaderSize + 2 * static_cast<size_t>(n);
    if (static_cast<size_t>(dir_size) - pos < record_size) {
      problems.Add("record " + std::to_string(i) + ": name runs past the end of the directory");
      return problems.Take();
    }
    std::u16string name(static_cast<size_t>(n), u'\0');
    for (int16_t k = 0; k < n; ++k) name[k] = static_cast<char16_t>(QvkLoad16(r + 19 + 2 * k));
    pos += record_size;

    const int32_t offset = static_cast<int32_t>(QvkLoad32(r + 3));
    const int32_t size = static_cast<int32_t>(QvkLoad32(r + 7));
    const uint32_t hash = QvkLoad32(r + 15);
    if (size < 0) continue;  // deleted
    const std::string who = Describe(i, name);
    if (offset < 0 || static_cast<int64_t>(offset) + size > file_size) {
      problems.Add(who + ": data lies outside the file");
    } else if (size > 0) {
      spans.push_back({offset, static_cast<int64_t>(offset) + size, who});
    }
    if (hash != QvkNameHash(name)) problems.Add(who + ": stored hash does not match the name");
    const auto named = by_name.emplace(AsciiUpper(name), i);
    if (!named.second) {
      problems.Add(who + ": duplicate name (first: record " +
                   std::to_string(named.first->second) + ")");
    } else {
      const auto hashed = by_hash.emplace(hash, i);
      if (!hashed.second) {
        problems.Add(who + ": hash shared with record " + std::to_string(hashed.first->second) +
                     "; it cannot be found");
      }
    }
  }
  if (pos != static_cast<size_t>(dir_size)) {
    problems.Add(std::to_string(static_cast<size_t>(dir_size) - pos) +
                 " unused bytes at the end of the directory");
  }

  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.begin < b.begin; });
  size_t reach = 0;  // the span that ends last so far
  for (size_t k = 1; k < spans.size(); ++k) {
    if (spans[k].begin < spans[reach].end) {
      problems.Add(spans[k].what + " overlaps " + spans[reach].what);
    }
    if (spans[k].end > spans[reach].end) reach = k;
  }
  return problems.Take();
}
