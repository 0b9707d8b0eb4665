#include "package/patch_list.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"
#include "package/qvk_archive.h"

namespace {

constexpr size_t kNoPosition = static_cast<size_t>(-1);

// The bytes a "%s" scan stops at: the blanks of isspace in the "C" locale,
// and the terminating zero.
constexpr uint64_t kWordEnds = uint64_t{1} << 0 | uint64_t{1} << '\t' | uint64_t{1} << '\n' |
                               uint64_t{1} << '\v' | uint64_t{1} << '\f' | uint64_t{1} << '\r' |
                               uint64_t{1} << ' ';

bool EndsWord(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u <= ' ' && (kWordEnds >> u & 1) != 0;
}

bool IsBlank(char c) { return c != 0 && EndsWord(c); }

// Skips blanks from `p`; notes in `line_end` the first line feed, if it has none yet.
size_t SkipBlanks(const char* text, size_t p, size_t* line_end) {
  for (; IsBlank(text[p]); ++p) {
    if (text[p] == '\n' && *line_end == kNoPosition) *line_end = p;
  }
  return p;
}

// Whether one of the eight bytes of `x` is below 0x21 (blanks, the zero, and
// other control bytes): such a byte b makes b - 0x21 borrow into its top bit
// while its own top bit is clear. Bytes without one never borrow.
bool HasByteBelow0x21(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  return ((x - kOnes * 0x21) & ~x & kOnes * 0x80) != 0;
}

// Takes the word at `p` in `text` of `size` bytes (text[size] is zero): eight
// bytes at a time while they lie inside the text and hold no control byte.
size_t SkipWord(const char* text, size_t size, size_t p) {
  for (;;) {
    for (uint64_t x; size - p >= 8; p += 8) {
      std::memcpy(&x, text + p, 8);
      if (HasByteBelow0x21(x)) break;
    }
    while (static_cast<unsigned char>(text[p]) > ' ') ++p;
    if (EndsWord(text[p])) return p;
    ++p;  // a control byte inside the word
  }
}

// An optionally signed decimal number at `*p` that fits 32 bits; `*p` ends
// after its digits.
bool ReadNumber(const char* text, size_t* p, int32_t* value) {
  size_t q = *p;
  bool negative = false;
  if (text[q] == '+' || text[q] == '-') negative = text[q++] == '-';
  if (text[q] < '0' || text[q] > '9') return false;
  int64_t v = 0;
  for (; text[q] >= '0' && text[q] <= '9'; ++q) {
    v = v * 10 + (text[q] - '0');
    if (v > int64_t{1} << 31) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *value = static_cast<int32_t>(v);
  *p = q;
  return true;
}

// Collects the distinct versions of a worker-mode parse into `out`, in
// first-seen order. The versions a manifest names are few and close together:
// those within 32768 of the first one are marked in a bitmap. Others are
// looked up in sorted lists: new ones enter a short list, merged into the
// long one once longer than the long one's square root, so that many distinct
// versions cost about d^1.5 moves, not d^2.
class DistinctVersions {
 public:
  explicit DistinctVersions(std::vector<int32_t>* out) : out_(out) {}

  void Add(int32_t version) {
    if (out_ == nullptr) return;
    if (near_.empty()) {
      near_.resize(kNear / 64);
      near_origin_ = int64_t{version} - kNear / 2;
    }
    const uint64_t offset = static_cast<uint64_t>(int64_t{version} - near_origin_);
    if (offset < kNear) {
      uint64_t& word = near_[static_cast<size_t>(offset / 64)];
      const uint64_t bit = uint64_t{1} << offset % 64;
      if ((word & bit) != 0) return;
      word |= bit;
    } else if (!AddFar(version)) {
      return;
    }
    out_->push_back(version);
  }

 private:
  static constexpr int64_t kNear = 65536;
  static constexpr size_t kShortList = 32;

  static bool Holds(const std::vector<int32_t>& sorted, int32_t version) {
    return std::binary_search(sorted.begin(), sorted.end(), version);
  }

  // False when `version` was seen before.
  bool AddFar(int32_t version) {
    if (Holds(settled_, version) || Holds(recent_, version)) return false;
    recent_.insert(std::upper_bound(recent_.begin(), recent_.end(), version), version);
    if (recent_.size() > kShortList && recent_.size() * recent_.size() > settled_.size()) {
      std::vector<int32_t> merged(settled_.size() + recent_.size());
      std::merge(settled_.begin(), settled_.end(), recent_.begin(), recent_.end(), merged.begin());
      settled_.swap(merged);
      recent_.clear();
    }
    return true;
  }

  std::vector<int32_t>* out_;
  std::vector<uint64_t> near_;  // bit i: near_origin_ + i seen
  int64_t near_origin_ = 0;
  std::vector<int32_t> settled_;
  std::vector<int32_t> recent_;
};

}  // namespace

char PatchListIndex::KeyByte(const Fields& r, size_t i) const {
  const char c = text_[r.key_begin + i];
  return upper_keys_ ? AsciiUpper(c) : c;
}

bool PatchListIndex::KeyLess(const Fields& a, const Fields& b) const {
  if (!upper_keys_) {
    return std::string_view(text_).substr(a.key_begin, a.key_length) <
           std::string_view(text_).substr(b.key_begin, b.key_length);
  }
  const size_t common = std::min(a.key_length, b.key_length);
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = static_cast<unsigned char>(KeyByte(a, i));
    const unsigned char y = static_cast<unsigned char>(KeyByte(b, i));
    if (x != y) return x < y;
  }
  return a.key_length < b.key_length;
}

PatchListEntry PatchListIndex::Entry(const Fields& r) const {
  PatchListEntry entry;
  entry.key.assign(text_, r.key_begin, r.key_length);
  if (upper_keys_) entry.key = AsciiUpper(std::move(entry.key));
  entry.entry_name.assign(text_, r.name_begin, r.name_length);
  entry.version = static_cast<VersionNumber>(r.version);
  return entry;
}

std::optional<PatchListEntry> PatchListIndex::Find(std::string_view key) const {
  for (size_t n = records_.size(); n > 0; --n) {
    const Fields& r = records_[n - 1];
    if (r.key_length != key.size()) continue;
    // From the end: keys of one folder share their start.
    size_t i = key.size();
    while (i > 0 && KeyByte(r, i - 1) == key[i - 1]) --i;
    if (i == 0) return Entry(r);
  }
  return std::nullopt;
}

PatchListEntry PatchListIndex::Record(size_t i) const {
  return i < records_.size() ? Entry(records_[i]) : PatchListEntry();
}

size_t PatchListIndex::CountKeys() const {
  std::vector<Fields> sorted = records_;
  const auto less = [this](const Fields& a, const Fields& b) { return KeyLess(a, b); };
  std::sort(sorted.begin(), sorted.end(), less);
  size_t count = 0;
  for (size_t i = 0; i < sorted.size(); ++i) {
    if (i == 0 || less(sorted[i - 1], sorted[i])) ++count;
  }
  return count;
}

bool ParsePatchList(std::string&& text, PatchListMode mode, PatchListIndex* index,
                    std::vector<int32_t>* versions) {
  if (index == nullptr) return false;
  const bool worker = mode == PatchListMode::kWorker;
  index->text_ = std::move(text);
  index->records_.clear();
  // A record line takes some 50 to 100 bytes: room for most records at once.
  index->records_.reserve(index->text_.size() / 64);
  index->upper_keys_ = !worker;
  if (versions != nullptr) versions->clear();
  DistinctVersions distinct(worker ? versions : nullptr);

  // Reads stop at the first zero byte, at the latest the string's terminator.
  const char* s = index->text_.c_str();
  const size_t size = index->text_.size();
  size_t p = 0;
  for (;;) {
    size_t before_key = kNoPosition;
    p = SkipBlanks(s, p, &before_key);
    if (s[p] == 0) break;
    PatchListIndex::Fields r;
    r.key_begin = p;
    p = SkipWord(s, size, p);
    const size_t key_length = p - r.key_begin;
    size_t line_end = kNoPosition;  // the first line feed after the key
    bool ok = key_length <= kPatchListMaxField;
    if (ok) {
      p = SkipBlanks(s, p, &line_end);
      r.name_begin = p;
      p = SkipWord(s, size, p);
      ok = p > r.name_begin && p - r.name_begin <= kPatchListMaxField;
      r.name_length = static_cast<uint16_t>(ok ? p - r.name_begin : 0);
    }
    if (ok) {
      p = SkipBlanks(s, p, &line_end);
      ok = ReadNumber(s, &p, &r.version);
    }
    if (!ok) return false;
    r.key_length = static_cast<uint16_t>(key_length);
    index->records_.push_back(r);
    distinct.Add(r.version);
    // The next record is read from the next line feed after the key; the
    // rest of the line is ignored.
    if (line_end == kNoPosition) {
      while (s[p] != '\n' && s[p] != 0) ++p;
      line_end = p;
    }
    p = line_end;
  }
  if (worker && versions != nullptr) std::sort(versions->begin(), versions->end());
  return true;
}

bool ParsePatchList(const char* text, PatchListMode mode, PatchListIndex* index,
                    std::vector<int32_t>* versions) {
  if (text == nullptr || index == nullptr) return false;
  return ParsePatchList(std::string(text), mode, index, versions);
}

int LoadPatchList(VersionNumber current_version, PatchListIndex* index,
                  std::vector<int32_t>* versions) {
  if (index == nullptr || versions == nullptr) return 0;
  const std::string path = PatchPackagePath(current_version);
  const QvkArchivePtr archive(QvkOpen(std::u16string(path.begin(), path.end()).c_str()));
  if (!archive) return 0;
  std::string text;
  if (QvkReadAll(archive.get(), u"PatchList.txt", &text) != 0) return 0;
  return ParsePatchList(std::move(text), PatchListMode::kWorker, index, versions) ? 1 : 0;
}
