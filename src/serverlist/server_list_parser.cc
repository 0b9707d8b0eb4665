#include "serverlist/server_list_parser.h"

// Both builds of expat (Debian's and the cross-built one) have DTD support,
// which brings the entity amplification limits; the header declares their
// setters only under this macro.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <vector>

#include "base/scramble.h"
#include "base/text.h"

static_assert(XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4),
              "expat 2.4 or later is needed for its entity amplification limits");

namespace {

// Decoding windows of attribute values, in bytes.
constexpr std::size_t kUtf16Window = 512;
constexpr std::size_t kAnsiWindow = 128;

// Entity expansion limits, a little stricter than expat's defaults: a list is
// a few kilobytes and uses no entities at all.
constexpr float kMaxAmplification = 100.0f;
constexpr unsigned long long kAmplificationThreshold = 1024 * 1024;

struct ParserOwner {
  XML_Parser parser = XML_ParserCreate(nullptr);
  ~ParserOwner() {
    if (parser) XML_ParserFree(parser);
  }
};

struct ParseContext {
  ServerList* list;
  AnsiEncoder encoder;
  XML_Parser parser;
  std::size_t zones_before;  // zones of earlier loads, counted against kMaxZones
  std::size_t servers_total;
  bool root_has_version;  // the root's first attribute holds a decimal number
};

// Attribute `position` (1-based) of expat's name/value array, or empty.
std::string_view Attribute(const XML_Char** atts, int position) {
  for (int i = 0; i < position; ++i) {
    if (atts[2 * i] == nullptr) return {};
  }
  return atts[2 * (position - 1) + 1];
}

template <std::size_t N>
void CopyUtf16(char16_t (&field)[N], std::string_view value) {
  const std::u16string text = DecodeUtf8Prefix(value, kUtf16Window, N - 1);
  std::memcpy(field, text.data(), text.size() * sizeof(char16_t));
  field[text.size()] = 0;
}

// The encoding of the longest prefix of `text` that fits `max_bytes`, cut
// between characters: cutting the encoded bytes could leave the first half of
// a double-byte character (code page 936 and the like) at the end. The
// encoded length grows with the prefix, so a binary search finds it.
std::string EncodeWithin(std::u16string_view text, std::size_t max_bytes, AnsiEncoder encoder) {
  std::string out = encoder(text);
  if (out.size() <= max_bytes) return out;
  std::size_t fits = 0, too_long = text.size();
  while (too_long - fits > 1) {
    const std::size_t mid = fits + (too_long - fits) / 2;
    if (encoder(text.substr(0, mid)).size() <= max_bytes) {
      fits = mid;
    } else {
      too_long = mid;
    }
  }
  if (fits > 0 && text[fits - 1] >= 0xD800 && text[fits - 1] <= 0xDBFF) --fits;  // half a pair
  return encoder(text.substr(0, fits));
}

template <std::size_t N>
void CopyAnsi(char (&field)[N], std::string_view value, AnsiEncoder encoder) {
  const std::string text =
      EncodeWithin(DecodeUtf8Prefix(value, kAnsiWindow, kAnsiWindow), N - 1, encoder);
  const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

// True if the integer read of `text` meets a digit: after leading white
// space and an optional sign, the next byte is a decimal digit.
bool HasDecimalNumber(std::string_view text, std::size_t max_bytes) {
  const std::size_t end = text.size() < max_bytes ? text.size() : max_bytes;
  std::size_t i = 0;
  while (i < end && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
  return i < end && text[i] >= '0' && text[i] <= '9';
}

std::int32_t IntAttribute(const XML_Char** atts, int position) {
  return ParseDecimalInt(Attribute(atts, position), kAnsiWindow);
}

void XMLCALL OnStart(void* user, const XML_Char* /*name*/, const XML_Char** atts) noexcept {
  auto* ctx = static_cast<ParseContext*>(user);
  ServerList& list = *ctx->list;
  ++list.depth;
  if (list.depth > kMaxElementDepth) {
    XML_StopParser(ctx->parser, XML_FALSE);
    return;
  }
  if (list.depth == 1) {
    list.required_version = static_cast<VersionNumber>(IntAttribute(atts, 1));
    ctx->root_has_version = HasDecimalNumber(Attribute(atts, 1), kAnsiWindow);
  } else if (list.depth == 2) {
    if (ctx->zones_before + list.zones.size() >= kMaxZones) {
      list.last_zone = nullptr;  // its entries are dropped with it
      return;
    }
    auto zone = std::make_unique<ZoneRecord>();
    CopyUtf16(zone->name, Attribute(atts, 1));
    zone->preferred = IntAttribute(atts, 2);
    CopyAnsi(zone->server_address, Attribute(atts, 3), ctx->encoder);
    CopyAnsi(zone->link_text, Attribute(atts, 4), ctx->encoder);
    zone->extra_value = IntAttribute(atts, 5);
    list.last_zone = zone.get();
    list.zones.push_back(std::move(zone));
  } else if (list.depth == 3) {
    // Entries of a zone that was not stored (past kMaxZones) are dropped.
    if (list.last_zone == nullptr || ctx->servers_total >= kMaxZoneServersTotal) return;
    ZoneServer server;
    CopyUtf16(server.name, Attribute(atts, 1));
    server.value1 = IntAttribute(atts, 2);
    server.value2 = IntAttribute(atts, 3);
    CopyAnsi(server.text1, Attribute(atts, 4), ctx->encoder);
    CopyAnsi(server.text2, Attribute(atts, 5), ctx->encoder);
    server.zone = list.last_zone;
    list.last_zone->servers.push_back(server);
    ++ctx->servers_total;
  }
}

void XMLCALL OnEnd(void* user, const XML_Char* /*name*/) noexcept {
  --static_cast<ParseContext*>(user)->list->depth;
}

}  // namespace

std::string AsciiOrQuestionMark(std::u16string_view text) noexcept {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += '?';
      // A surrogate pair is one character.
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] < 0xE000) {
        ++i;
      }
    }
  }
  return out;
}

std::int32_t ParseDecimalInt(std::string_view text, std::size_t max_bytes) {
  const std::size_t end = text.size() < max_bytes ? text.size() : max_bytes;
  std::size_t i = 0;
  while (i < end && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= static_cast<long long>(INT32_MAX) + 1) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

bool ParseServerListDocument(const char* data, std::size_t size, ServerList& list,
                             AnsiEncoder encoder) {
  if (size < 5 || std::memcmp(data, "<?xml", 5) != 0) return false;
  if (size > kMaxStoredListBytes) return false;
  ParserOwner owner;
  if (owner.parser == nullptr) return false;
  XML_SetBillionLaughsAttackProtectionMaximumAmplification(owner.parser, kMaxAmplification);
  XML_SetBillionLaughsAttackProtectionActivationThreshold(owner.parser, kAmplificationThreshold);
  // Parsed on the side: `list` changes only when the document is a server list.
  ServerList parsed;
  ParseContext ctx{&parsed, encoder ? encoder : AsciiOrQuestionMark, owner.parser,
                   list.zones.size(), 0, false};
  for (const auto& zone : list.zones) ctx.servers_total += zone->servers.size();
  XML_SetUserData(owner.parser, &ctx);
  XML_SetElementHandler(owner.parser, OnStart, OnEnd);
  // The whole document is in one buffer, so it is also the final part. The
  // result is not examined: elements read before a fault stay stored.
  XML_Parse(owner.parser, data, static_cast<int>(size), XML_TRUE);
  // A well-formed page that is not a list (a portal's XHTML login page, a
  // maintenance notice) must not pass for one with made-up zones.
  bool named_zone = false;
  for (const auto& zone : parsed.zones) named_zone = named_zone || !zone->Name().empty();
  if (!ctx.root_has_version || !named_zone) return false;
  list.required_version = parsed.required_version;
  for (auto& zone : parsed.zones) list.zones.push_back(std::move(zone));
  list.depth = 0;
  list.last_zone = nullptr;
  return true;
}

bool ParseServerListFile(const std::filesystem::path& path, ServerList& list,
                         AnsiEncoder encoder) {
  std::vector<char> bytes;
  {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<unsigned long long>(size) > kMaxStoredListBytes) return false;
    file.seekg(0, std::ios::beg);
    bytes.assign(static_cast<std::size_t>(size), 0);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
  }
  ScrambleBytes(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
  return ParseServerListDocument(bytes.data(), bytes.size(), list, encoder);
}
