#include "json/fast_reader.h"

#include <cstdint>
#include <cstring>

#include "json/byte_scan.h"
#include "json/text_rules.h"

namespace orvix::json {

namespace {

class Reader {
 public:
  Reader(std::string_view text, boost::json::value_stack* out, const boost::json::storage_ptr& scratch_storage,
         char* scratch)
      : begin_(text.data()),
        p_(text.data()),
        end_(text.data() + text.size()),
        text_size_(text.size()),
        out_(out),
        scratch_storage_(scratch_storage),
        scratch_(scratch),
        owns_scratch_(scratch == nullptr) {}
  ~Reader() {
    if (owns_scratch_ && scratch_ != nullptr) scratch_storage_->deallocate(scratch_, text_size_, 1);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  bool document(std::size_t max_depth) {
    if (!value(max_depth)) return false;
    skip_whitespace();
    return p_ == end_;
  }

 private:
  void skip_whitespace() {
    while (p_ != end_ && is_whitespace(*p_)) ++p_;
  }

  bool value(std::size_t remaining_depth) {
    skip_whitespace();
    if (p_ == end_) return false;
    switch (*p_) {
      case '"': {
        ++p_;
        std::string_view text;
        if (!string(text)) return false;
        out_->push_string(text);
        return true;
      }
      case '{': return remaining_depth > 0 && object(remaining_depth - 1);
      case '[': return remaining_depth > 0 && array(remaining_depth - 1);
      case 't': return literal("true") && (out_->push_bool(true), true);
      case 'f': return literal("false") && (out_->push_bool(false), true);
      case 'n': return literal("null") && (out_->push_null(), true);
      default: return number();
    }
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
      return false;
    }
    p_ += word.size();
    return true;
  }

  // After '{'. A repeated name keeps its later value (push_object's rule).
  bool object(std::size_t remaining_depth) {
    ++p_;
    skip_whitespace();
    std::size_t count = 0;
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      out_->push_object(0);
      return true;
    }
    for (;;) {
      skip_whitespace();
      if (p_ == end_ || *p_ != '"') return false;
      ++p_;
      std::string_view name;
      if (!string(name)) return false;
      out_->push_key(name);
      skip_whitespace();
      if (p_ == end_ || *p_ != ':') return false;
      ++p_;
      if (!value(remaining_depth)) return false;
      ++count;
      skip_whitespace();
      if (p_ == end_) return false;
      const char next = *p_++;
      if (next == '}') break;
      if (next != ',') return false;
    }
    out_->push_object(count);
    return true;
  }

  // After '['.
  bool array(std::size_t remaining_depth) {
    ++p_;
    skip_whitespace();
    std::size_t count = 0;
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      out_->push_array(0);
      return true;
    }
    for (;;) {
      if (!value(remaining_depth)) return false;
      ++count;
      skip_whitespace();
      if (p_ == end_) return false;
      const char next = *p_++;
      if (next == ']') break;
      if (next != ',') return false;
    }
    out_->push_array(count);
    return true;
  }

  // After the opening quote; `text` is the decoded string, valid until the
  // next string is read. Raw runs are checked as UTF-8 as they are scanned:
  // an escape always decodes to whole characters, so the decoded string is
  // valid exactly when every raw run is.
  bool string(std::string_view& text) {
    const char* const start = p_;
    char* first = nullptr;  // where the decoded string begins once an escape was seen
    char* out = nullptr;    // and the cursor there
    const char* run = start;
    for (;;) {
      p_ = scan::find_escape_or_non_ascii(p_, end_, begin_);
      if (p_ == end_) return false;
      const auto c = static_cast<unsigned char>(*p_);
      if (c >= 0x80) {
        const std::size_t length = utf8_sequence_length(p_, end_);
        if (length == 0) return false;
        p_ += length;
        continue;
      }
      if (c == '"') break;
      if (c != '\\') return false;  // a raw control character
      if (first == nullptr) out = first = scratch();
      move_run(out, run);
      ++p_;
      if (!escape(out)) return false;
      run = p_;
    }
    if (first == nullptr) {
      text = std::string_view(start, static_cast<std::size_t>(p_ - start));
    } else {
      move_run(out, run);
      text = std::string_view(first, static_cast<std::size_t>(out - first));
    }
    ++p_;
    return true;
  }

  // Appends the raw run [run, p_) at `out`.
  void move_run(char*& out, const char* run) {
    const auto size = static_cast<std::size_t>(p_ - run);
    std::memcpy(out, run, size);
    out += size;
  }

  // A decoded string is never longer than the text it came from.
  char* scratch() {
    if (scratch_ == nullptr) scratch_ = static_cast<char*>(scratch_storage_->allocate(text_size_, 1));
    return scratch_;
  }

  // After a backslash.
  bool escape(char*& out) {
    if (p_ == end_) return false;
    const char letter = *p_++;
    if (letter != 'u') {
      const int byte = simple_escape(letter);
      if (byte < 0) return false;
      *out++ = static_cast<char>(byte);
      return true;
    }
    const UnicodeEscape read = read_unicode_escape(p_, end_);
    if (read.fault != EscapeFault::kNone) return false;
    out = encode_utf8(read.code_point, out);
    p_ = read.end;
    return true;
  }

  bool number() {
    const auto number = read_number(p_, end_);
    if (!number) return false;
    switch (number->kind) {
      case Number::Kind::kUnsigned: out_->push_uint64(number->u); break;
      case Number::Kind::kSigned: out_->push_int64(number->i); break;
      case Number::Kind::kDouble: out_->push_double(number->d); break;
    }
    return true;
  }

  const char* const begin_;
  const char* p_;
  const char* const end_;
  const std::size_t text_size_;
  boost::json::value_stack* const out_;
  const boost::json::storage_ptr& scratch_storage_;
  char* scratch_;
  const bool owns_scratch_;
};

}  // namespace

bool read_fast(std::string_view text, std::size_t max_depth, boost::json::value_stack& out,
               const boost::json::storage_ptr& scratch_storage, char* scratch) {
  Reader reader(text, &out, scratch_storage, scratch);
  return reader.document(max_depth);
}

}  // namespace orvix::json
