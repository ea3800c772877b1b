// Cutting the bytes read into lines: the one place that looks at every byte
// before the splitter does.
#include <bit>
#include <cstring>

#include "engine/receiver.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvane {

void Receiver::ResetLineAssembly() {
  buf_.clear();
  head_ = pending_start_ = scan_pos_ = 0;
  line_ends_.clear();
  line_head_ = 0;
  discarding_ = false;
}

namespace {

// The first CR or LF in [p, end), or null: one pass, where two memchr calls
// (LF, then CR before it) would read every line twice. `begin` is where the
// buffer starts: a last block shorter than a whole one is read as the
// buffer's last block, its bytes before `p` masked off.
#if defined(__SSE2__)
[[gnu::always_inline]] inline const char* FirstLineByteSse2(const char* const begin, const char* p,
                                                            const char* const end) {
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
  const auto hits = [&](const char* q) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr))));
  };
  for (; end - p >= 16; p += 16) {
    if (const unsigned h = hits(p); h != 0) return p + std::countr_zero(h);
  }
  if (p == end) return nullptr;
  if (end - begin >= 16) {
    const char* const last = end - 16;
    const unsigned h = hits(last) >> (p - last);
    return h != 0 ? p + std::countr_zero(h) : nullptr;
  }
  for (; p != end; ++p)
    if (*p == '\n' || *p == '\r') return p;
  return nullptr;
}
#endif

[[gnu::always_inline]] inline const char* FirstLineByte(const char* const begin, const char* p,
                                                        const char* const end) {
#if defined(__SSE2__)
  return FirstLineByteSse2(begin, p, end);
#else
  (void)begin;
  // Elsewhere the C library's memchr is the fast way: the LF, then a CR
  // before it.
  const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
  const char* const stop = lf != nullptr ? static_cast<const char*>(lf) : end;
  const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(stop - p));
  return cr != nullptr ? static_cast<const char*>(cr) : static_cast<const char*>(lf);
#endif
}

}  // namespace

// With ExtendedSentences on, a CR that is not followed by LF ends a line too
// (receivers that end lines with CR alone); a CR last in the buffer waits
// for the next byte.
[[gnu::always_inline]] inline const void* Receiver::FindLineEnd() const {
  const char* const end = buf_.data() + buf_.size();
  const char* const hit = FirstLineByte(buf_.data(), buf_.data() + scan_pos_, end);
  if (hit == nullptr || *hit == '\n') return hit;
  if (hit + 1 == end) return nullptr;
  return hit[1] == '\n' ? hit + 1 : hit;
}

template <bool kMayHoldOverlong, bool kCrEnds>
[[gnu::always_inline]] inline void Receiver::CutAtLineFeeds() {
  while (scan_pos_ < buf_.size()) {
    const void* hit = kCrEnds ? FindLineEnd()
                              : std::memchr(buf_.data() + scan_pos_, '\n', buf_.size() - scan_pos_);
    if (hit == nullptr) {
      scan_pos_ = buf_.size();
      // A CR last in the buffer is looked at again with the next byte.
      if (kCrEnds && scan_pos_ > pending_start_ && buf_.back() == '\r') --scan_pos_;
      break;
    }
    std::size_t lf = static_cast<std::size_t>(static_cast<const char*>(hit) - buf_.data());
    if constexpr (kMayHoldOverlong) {
      if (discarding_ || lf - pending_start_ > kMaxLineBytes) {
        // The rest of an overlong line, or all of it: drop it with its line feed.
        if (!discarding_) ++stats_.overlong_dropped;
        discarding_ = false;
        buf_.erase(pending_start_, lf + 1 - pending_start_);
        scan_pos_ = pending_start_;
        continue;
      }
    }
    line_ends_.push_back(lf);
    pending_start_ = scan_pos_ = lf + 1;
  }
}

// A line longer than the bound is dropped whole, however its bytes were cut
// into chunks: one that ends in this read is dropped at its line feed, one
// still open once it passes the bound, and the rest of it at its line feed.
void Receiver::CutLines() {
  // Only text past the bound, or the rest of a line being dropped, can hold
  // an overlong line: normal reads cut without testing any length.
  // Each way its own loop: the default one is memchr alone.
  const bool cr_ends = settings_.extended_sentences.load(std::memory_order_relaxed);
  if (!discarding_ && buf_.size() - pending_start_ <= kMaxLineBytes) {
    return cr_ends ? CutAtLineFeeds<false, true>() : CutAtLineFeeds<false, false>();
  }
  cr_ends ? CutAtLineFeeds<true, true>() : CutAtLineFeeds<true, false>();
  if (discarding_) {
    buf_.resize(pending_start_);
    scan_pos_ = pending_start_;
  } else if (buf_.size() - pending_start_ > kMaxLineBytes) {
    buf_.resize(pending_start_);
    scan_pos_ = pending_start_;
    discarding_ = true;
    ++stats_.overlong_dropped;
  }
}

int Receiver::NextLine(ChunkReader& reader, std::string_view* line) {
  *line = std::string_view();
  // The line handed out last is behind head_: the buffer may move now. With
  // lines still queued, move only once the handed-out part dominates, so a
  // reader that stays ahead of the loop costs no more than one copy per byte.
  if (head_ != 0 &&
      (line_head_ == line_ends_.size() || (head_ >= 4096 && head_ * 2 >= buf_.size()))) {
    buf_.erase(0, head_);
    line_ends_.erase(line_ends_.begin(),
                     line_ends_.begin() + static_cast<std::ptrdiff_t>(line_head_));
    for (std::size_t& end : line_ends_) end -= head_;
    line_head_ = 0;
    pending_start_ -= head_;
    scan_pos_ -= head_;
    head_ = 0;
  }
  if (queued_lines() < kMaxQueuedLines) {
    const int rc = reader.ReadChunk(buf_);
    if (rc != 0) {
      // The reader may have appended before failing; keep what it gave.
      CutLines();
      return rc;
    }
    CutLines();
  }
  if (line_head_ == line_ends_.size()) return 0;
  const std::size_t end = line_ends_[line_head_++];
  *line = std::string_view(buf_.data() + head_, end - head_);
  head_ = end + 1;
  return static_cast<int>(line_ends_.size() - line_head_);
}

void Receiver::EndOfSource() {
  if (!settings_.extended_sentences.load(std::memory_order_relaxed)) return;
  if (line_head_ != line_ends_.size() || buf_.size() <= pending_start_ || buf_.back() != '\r')
    return;
  HandleLine(std::string_view(buf_.data() + pending_start_, buf_.size() - 1 - pending_start_));
  ResetLineAssembly();
}

}  // namespace orvane
