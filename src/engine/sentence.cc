#include "engine/sentence.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/words.h"

namespace orvane {
namespace {

using words::MatchBytes;
using words::MatchBytesExact;

constexpr auto kHexDigits = [] {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);
  for (int c = 0; c < 10; ++c) t['0' + c] = static_cast<std::int8_t>(c);
  for (int c = 0; c < 6; ++c) t['a' + c] = t['A' + c] = static_cast<std::int8_t>(10 + c);
  return t;
}();

int HexDigit(char c) { return kHexDigits[static_cast<unsigned char>(c)]; }

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtol(text, nullptr, 16) with a 32-bit long, as on the control's platform.
std::int32_t StrtolHex(std::string_view s) {
  // What every receiver sends: two hex digits and nothing more of the number.
  if (s.size() >= 2) {
    const int high = HexDigit(s[0]), low = HexDigit(s[1]);
    if (high >= 0 && low >= 0 && (s.size() == 2 || HexDigit(s[2]) < 0)) return high * 16 + low;
  }
  std::size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i + 2 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') &&
      HexDigit(s[i + 2]) >= 0) {
    i += 2;
  }
  std::int64_t value = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    int d = HexDigit(s[i]);
    if (d < 0) break;
    value = value * 16 + d;
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      overflow = true;
      value = 0x80000000LL;
    }
  }
  if (negative) {
    if (overflow || value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
      return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(-value);
  }
  if (overflow || value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(value);
}

std::string_view TrimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

// Beyond this many commas (no real sentence has them) the reference is
// taken, so the one-pass positions fit on the stack and the fields inline.
constexpr std::size_t kMaxOnePassCommas = SentenceFields::kInlineCapacity - 1;

}  // namespace

bool VerifyChecksum(std::string_view& line) {
  std::size_t star = 0;
  unsigned x = 0;
  if (line.empty() || line[0] != '*') {
    for (star = 1; star < line.size() && line[star] != '*'; ++star)
      x ^= static_cast<unsigned char>(line[star]);
    if (star >= line.size()) return true;
  }
  const std::int32_t expected = StrtolHex(line.substr(star + 1));
  line = line.substr(0, star);
  return static_cast<std::int32_t>(x) == expected;
}

bool VerifyChecksum(std::string& line) {
  std::string_view view(line);
  const bool ok = VerifyChecksum(view);
  line.resize(view.size());
  return ok;
}

void SplitFields(std::string_view line, SentenceFields& fields) {
  if (line.empty()) {
    fields.clear();
    return;
  }
  // Count the commas first, so the views are written in place: the list's
  // room is kept from line to line and nothing is pushed one by one.
  std::size_t commas = 0;
  for (char c : line) commas += c == ',';
  std::string_view* out = fields.Overwrite(commas + 1);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] != ',') continue;
    *out++ = TrimBlanks(line.substr(start, i - start));
    start = i + 1;
  }
}

bool SplitVerifiedFieldsReference(std::string_view& line, SentenceFields& fields) {
  if (!VerifyChecksum(line)) return false;
  SplitFields(line, fields);
  return true;
}

namespace {

// What the one-pass splitters share once the asterisk and the commas are
// found: the checksum against the suffix, the last field and the trimming.
[[gnu::always_inline]] inline bool FinishSplit(std::string_view& line, SentenceFields& fields,
                                               std::string_view* out, std::string_view* o,
                                               const char* start, const char* star, unsigned x,
                                               bool blanks) {
  const char* const p = line.data();
  const char* end = p + line.size();
  if (star != nullptr) {
    if (star != p) x ^= static_cast<unsigned char>(p[0]);
    const std::size_t at = static_cast<std::size_t>(star - p);
    const bool ok = static_cast<std::int32_t>(x) == StrtolHex(line.substr(at + 1));
    line = line.substr(0, at);
    if (!ok) return false;
    end = star;
  }
  if (end == p) {
    fields.clear();
    return true;
  }
  *o = std::string_view(start, static_cast<std::size_t>(end - start));
  const std::size_t count = static_cast<std::size_t>(o - out) + 1;
  fields.resize(count);
  if (blanks) {
    for (std::size_t k = 0; k < count; ++k) out[k] = TrimBlanks(out[k]);
  }
  return true;
}

unsigned FoldXor(std::uint64_t acc) {
  acc ^= acc >> 32;
  acc ^= acc >> 16;
  acc ^= acc >> 8;
  return static_cast<unsigned>(acc & 0xFF);
}

#if defined(__SSE2__)
// 16 zeros then 16 ones: from k on, bytes k and above are kept.
alignas(16) constexpr unsigned char kFrom[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline __m128i From(unsigned k) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kFrom + 16 - k));
}

// The sixteen bytes at q, never reading past the line's end e: a tail is
// loaded ending at e, and the bits below *shift were already seen.
inline __m128i LoadBlock(const char* q, const char* e, std::size_t size, unsigned* shift) {
  const std::size_t left = static_cast<std::size_t>(e - q);
  *shift = 0;
  if (left >= 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  if (size >= 16) {
    *shift = static_cast<unsigned>(16 - left);
    return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(e - 16)), From(*shift));
  }
  alignas(16) char tail[16] = {};  // zero bytes match nothing and XOR to nothing
  std::memcpy(tail, q, left);
  return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
}

bool SplitVerifiedFieldsBy16(std::string_view& line, SentenceFields& fields) {
  // Sixteen bytes at a time: one compare per byte of interest gives a bit
  // per byte, and the XOR is kept as a vector until the end.
  const std::size_t size = line.size();
  const char* const p = line.data();
  const char* const e = p + size;
  const __m128i commas = _mm_set1_epi8(','), asterisks = _mm_set1_epi8('*'),
                spaces = _mm_set1_epi8(' ');
  std::string_view* const out = fields.Overwrite(SentenceFields::kInlineCapacity);
  std::string_view* o = out;
  std::string_view* const o_limit = out + (kMaxOnePassCommas - 16);
  const char* start = p;
  const char* star = nullptr;
  __m128i acc = _mm_setzero_si128();
  unsigned blanks = 0;
  for (const char* q = p; q < e; q += 16) {
    unsigned shift;
    __m128i v = LoadBlock(q, e, size, &shift);
    bool last = e - q <= 16;
    unsigned keep = 0xFFFFu >> shift;
    if (const unsigned m =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, asterisks))) >> shift;
        m != 0) {
      const unsigned at = static_cast<unsigned>(std::countr_zero(m));
      v = _mm_andnot_si128(From(shift + at), v);
      keep &= (1u << at) - 1;
      star = q + at;
      last = true;
    }
    acc = _mm_xor_si128(acc, v);
    blanks |= (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, spaces))) >> shift) & keep;
    if (o > o_limit) return SplitVerifiedFieldsReference(line, fields);
    for (unsigned m =
             (static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, commas))) >> shift) & keep;
         m != 0; m &= m - 1) {
      const char* const comma = q + std::countr_zero(m);
      *o++ = std::string_view(start, static_cast<std::size_t>(comma - start));
      start = comma + 1;
    }
    if (last) break;
  }
  std::uint64_t halves[2];
  std::memcpy(halves, &acc, sizeof halves);
  return FinishSplit(line, fields, out, o, start, star, FoldXor(halves[0] ^ halves[1]),
                     blanks != 0);
}
#else
bool SplitVerifiedFieldsByWords(std::string_view& line, SentenceFields& fields) {
  const std::size_t size = line.size();
  // One pass over the words of the line finds the asterisk, XORs the bytes
  // before it, writes a field at each comma and notes whether any blank is
  // there to trim. Byte 0 is XORed too and taken out at the end.
  const char* const p = line.data();
  const char* const e = p + size;
  std::string_view* const out = fields.Overwrite(SentenceFields::kInlineCapacity);
  std::string_view* o = out;
  std::string_view* const o_limit = out + (kMaxOnePassCommas - 8);
  const char* start = p;
  const char* star = nullptr;
  std::uint64_t acc = 0, blanks = 0;
  for (const char* q = p; q < e; q += 8) {
    const std::size_t left = static_cast<std::size_t>(e - q);
    std::uint64_t w;
    if (left >= 8) {
      w = words::Load(q);
    } else if (size >= 8) {
      w = words::Load(e - 8) >>
          (8 * (8 - left));  // the last bytes, zeros above: they match nothing
    } else {
      w = 0;
      std::memcpy(&w, q, left);
    }
    bool last = left <= 8;
    if (const std::uint64_t m = MatchBytes(w, '*'); m != 0) {
      const int at = std::countr_zero(m) / 8;
      w = at == 0 ? 0 : w & (~std::uint64_t{0} >> (64 - 8 * at));
      star = q + at;
      last = true;
    }
    acc ^= w;
    blanks |= MatchBytes(w, ' ');
    if (o > o_limit) return SplitVerifiedFieldsReference(line, fields);
    for (std::uint64_t m = MatchBytesExact(w, ','); m != 0; m &= m - 1) {
      const char* const comma = q + std::countr_zero(m) / 8;
      *o++ = std::string_view(start, static_cast<std::size_t>(comma - start));
      start = comma + 1;
    }
    if (last) break;
  }
  return FinishSplit(line, fields, out, o, start, star, star != nullptr ? FoldXor(acc) : 0,
                     blanks != 0);
}
#endif

}  // namespace

// One fast way a build: sixteen bytes at a time where SSE2 is, eight bytes
// at a time elsewhere (on arm64 it splits in a fifth of the reference's
// time), and the reference itself on a big-endian machine.
bool SplitVerifiedFields(std::string_view& line, SentenceFields& fields) {
#if defined(__SSE2__)
  return SplitVerifiedFieldsBy16(line, fields);
#else
  if constexpr (words::kEnabled) return SplitVerifiedFieldsByWords(line, fields);
  return SplitVerifiedFieldsReference(line, fields);
#endif
}

void NormalizeFieldCount(SentenceFields& fields, std::size_t count) { fields.resize(count); }

std::string_view* SentenceFields::Overwrite(std::size_t count) {
  if (count <= kInlineCapacity) {
    data_ = inline_;
  } else {
    if (heap_.size() < count) heap_.resize(count);
    data_ = heap_.data();
  }
  size_ = count;
  return data_;
}

void SentenceFields::Grow(std::size_t count) {
  if (count > capacity()) {
    // Only a line beyond the inline room gets here; its fields move along.
    std::vector<std::string_view> grown(data_, data_ + size_);
    grown.resize(count);
    heap_ = std::move(grown);
    data_ = heap_.data();
  } else {
    for (std::size_t i = size_; i < count; ++i) data_[i] = std::string_view();
  }
  size_ = count;
}

void SentenceFields::Assign(const std::string_view* fields, std::size_t count) {
  std::string_view* out = Overwrite(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = fields[i];
}

bool operator==(const SentenceFields& a, const SentenceFields& b) {
  if (a.size_ != b.size_) return false;
  for (std::size_t i = 0; i < a.size_; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

void AppendChecksum(std::string& sentence) {
  unsigned x = 0;
  for (std::size_t i = 1; i < sentence.size(); ++i) x ^= static_cast<unsigned char>(sentence[i]);
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char suffix[] = {'*', kHex[x >> 4], kHex[x & 15]};
  sentence.append(suffix, sizeof suffix);
}

}  // namespace orvane
