// One NMEA line's checksum and fields.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

// Element 0 is the identifier; element i the i-th comma-separated field, with
// blanks (0x20 only) trimmed at both ends. Views point into the line, which
// outlives the handler call.
//
// Every real sentence fits the inline room, so a line costs no allocation and
// no capacity bookkeeping; a longer line (garbage, mostly) spills to the heap.
class SentenceFields {
 public:
  static constexpr std::size_t kInlineCapacity = 65;
  using iterator = std::string_view*;
  using const_iterator = const std::string_view*;

  SentenceFields() = default;
  SentenceFields(std::initializer_list<std::string_view> fields) {
    Assign(fields.begin(), fields.size());
  }
  SentenceFields(const SentenceFields& other) { Assign(other.data_, other.size_); }
  SentenceFields& operator=(const SentenceFields& other) {
    if (this != &other) Assign(other.data_, other.size_);
    return *this;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view& operator[](std::size_t i) { return data_[i]; }
  const std::string_view& operator[](std::size_t i) const { return data_[i]; }
  const std::string_view& back() const { return data_[size_ - 1]; }
  std::string_view* begin() { return data_; }
  std::string_view* end() { return data_ + size_; }
  const std::string_view* begin() const { return data_; }
  const std::string_view* end() const { return data_ + size_; }

  void clear() { size_ = 0; }
  // Pads with empty fields or cuts.
  void resize(std::size_t count) {
    if (count <= size_) {
      size_ = count;
    } else {
      Grow(count);
    }
  }
  // Room for exactly `count` elements, left as they are: for a splitter that
  // writes every one.
  std::string_view* Overwrite(std::size_t count);

  friend bool operator==(const SentenceFields& a, const SentenceFields& b);

 private:
  void Assign(const std::string_view* fields, std::size_t count);
  void Grow(std::size_t count);
  std::size_t capacity() const { return data_ == inline_ ? kInlineCapacity : heap_.size(); }

  std::string_view inline_[kInlineCapacity];
  std::vector<std::string_view> heap_;
  std::string_view* data_ = inline_;
  std::size_t size_ = 0;
};

// Field i, or empty past the end: the loop normalizes the count, but a
// handler must not read past a short list whoever the caller is.
inline std::string_view Field(const SentenceFields& f, std::size_t i) {
  return i < f.size() ? f[i] : std::string_view();
}

// What the loop knows of a sentence besides its normalized fields.
struct SentenceContext {
  std::string_view talker;               // the two letters after '$'
  std::size_t received_field_count = 0;  // elements before normalizing
  std::string_view received_last_field;  // where NMEA 4.10 puts its ids
  bool several_systems = false;          // any talker but GP alone accepted
};

// Checks and strips the "*hh" suffix in place (the CR goes with it). A line
// without '*' is accepted unchanged. This and SplitFields go one byte at a
// time: together they are the reference the fast splitter is held to.
bool VerifyChecksum(std::string& line);
// The same on a view, which is shortened to drop the suffix.
bool VerifyChecksum(std::string_view& line);
// Splits at every comma into `fields` (cleared first; capacity reused).
void SplitFields(std::string_view line, SentenceFields& fields);
// VerifyChecksum (the view is shortened the same way), then SplitFields.
bool SplitVerifiedFieldsReference(std::string_view& line, SentenceFields& fields);
// The same in one pass over the line, the fastest way this build has. On a
// checksum mismatch returns false and leaves `fields` unspecified.
bool SplitVerifiedFields(std::string_view& line, SentenceFields& fields);
// Pads with empty fields or cuts to exactly `count` elements.
void NormalizeFieldCount(SentenceFields& fields, std::size_t count);
// Appends the "*hh" suffix (upper-case hex) over every byte after the
// leading '$', as a talker writes it.
void AppendChecksum(std::string& sentence);

}  // namespace orvane
