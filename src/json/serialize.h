// The compact serialiser.
//
// No whitespace between tokens, no trailing line break; object members in
// ascending byte order of their names; strings escape only '"', '\\' and the
// characters below U+0020 (\b \t \n \f \r, else \u00xx in lower-case hex),
// everything else as raw UTF-8; integers in decimal; finite doubles in the
// shortest text that reads back as the same double, with ".0" on integral
// values; NaN and infinities as null. Cannot fail.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <boost/container/small_vector.hpp>

#include "json/value.h"

namespace orvix::json {

// Appends compact JSON to a string through a raw cursor: room is made once
// per token, not once per byte. Pieces are written in the order given; the
// caller puts the punctuation between them with raw(). The string holds
// exactly the bytes written once the writer is gone.
class CompactWriter {
 public:
  explicit CompactWriter(std::string& out) : out_(out), used_(out.size()) {}
  // Writes from `start` on, over whatever `out` holds there. The bytes past
  // the cursor are scratch that the writer leaves in place, so a buffer kept
  // at its largest size is never filled with zeros again (and its pages are
  // not touched afresh); size() says where the text ends.
  struct KeepScratch {};
  CompactWriter(std::string& out, std::size_t start, KeepScratch) : out_(out), used_(start), keep_scratch_(true) {
    if (out_.size() < start) out_.resize(start);
  }
  ~CompactWriter() {
    if (!keep_scratch_) out_.resize(used_);
  }
  // Where the text written ends so far.
  std::size_t size() const { return used_; }
  CompactWriter(const CompactWriter&) = delete;
  CompactWriter& operator=(const CompactWriter&) = delete;

  // Bytes that are JSON text already (punctuation, a fixed member).
  // Inline: most pieces are fixed, and a copy of a size known here is a few
  // moves rather than a call.
  void raw(std::string_view text) {
    char* p = room(text.size());
    std::memcpy(p, text.data(), text.size());
    commit(p + text.size());
  }
  void raw(char c) {
    char* p = room(1);
    *p = c;
    commit(p + 1);
  }
  // A JSON string: the quotes and the escapes the serialiser's rules ask for.
  void string(std::string_view text);
  // A member name and its colon, for a fixed name that needs no escape
  // (plain ASCII letters, digits and dots): no scan.
  void name(std::string_view plain) {
    char* p = room(plain.size() + 3);
    *p++ = '"';
    std::memcpy(p, plain.data(), plain.size());
    p += plain.size();
    *p++ = '"';
    *p++ = ':';
    commit(p);
  }
  void value(const Value& v);
  void number(std::uint64_t n);

 private:
  // Room for `n` more bytes; returns where they go.
  char* room(std::size_t n) {
    if (out_.size() - used_ < n) grow(n);
    return out_.data() + used_;
  }
  void grow(std::size_t n);
  // What string() writes from the first escape of `text` on (at `in`, the
  // cursor at `p`); returns the cursor.
  char* escaped_rest(char* p, const char* in, std::string_view text);
  void commit(char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }
  template <class Integer>
  void integer(Integer value);
  void real(double value);
  void object(const Object& o);

  std::string& out_;
  std::size_t used_;
  bool keep_scratch_ = false;
  // Object members being sorted, shared down the recursion as a stack.
  boost::container::small_vector<const boost::json::key_value_pair*, 32> members_;
};

// Appends the compact text of `value` to `out`.
void serialize_compact(const Value& value, std::string& out);

std::string to_compact_string(const Value& value);

}  // namespace orvix::json
