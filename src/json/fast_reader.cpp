#include "json/fast_reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "json/byte_scan.h"
#include "json/char_rules.h"

namespace orvix::json {

namespace {

bool in(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// Length of the valid UTF-8 sequence at `p` (its lead byte is not ASCII), or
// 0 (RFC 3629: no overlong forms, no surrogates, at most U+10FFFF).
std::size_t utf8_sequence(const char* p, const char* end) {
  const auto lead = static_cast<unsigned char>(p[0]);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (in(lead, 0xC2, 0xDF)) {
    length = 2;
  } else if (in(lead, 0xE0, 0xEF)) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (in(lead, 0xF0, 0xF4)) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (end - p < static_cast<std::ptrdiff_t>(length)) return 0;
  if (!in(static_cast<unsigned char>(p[1]), low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!in(static_cast<unsigned char>(p[i]), 0x80, 0xBF)) return 0;
  }
  return length;
}

char* put_utf8(std::uint32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

class Reader {
 public:
  Reader(std::string_view text, boost::json::value_stack& out, const boost::json::storage_ptr& scratch_storage)
      : p_(text.data()), end_(text.data() + text.size()), text_size_(text.size()), out_(out),
        scratch_storage_(scratch_storage) {}
  ~Reader() {
    if (scratch_ != nullptr) scratch_storage_->deallocate(scratch_, text_size_, 1);
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
        out_.push_string(text);
        return true;
      }
      case '{': return remaining_depth > 0 && object(remaining_depth - 1);
      case '[': return remaining_depth > 0 && array(remaining_depth - 1);
      case 't': return literal("true") && (out_.push_bool(true), true);
      case 'f': return literal("false") && (out_.push_bool(false), true);
      case 'n': return literal("null") && (out_.push_null(), true);
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
      out_.push_object(0);
      return true;
    }
    for (;;) {
      skip_whitespace();
      if (p_ == end_ || *p_ != '"') return false;
      ++p_;
      std::string_view name;
      if (!string(name)) return false;
      out_.push_key(name);
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
    out_.push_object(count);
    return true;
  }

  // After '['.
  bool array(std::size_t remaining_depth) {
    ++p_;
    skip_whitespace();
    std::size_t count = 0;
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      out_.push_array(0);
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
    out_.push_array(count);
    return true;
  }

  // After the opening quote; `text` is the decoded string, valid until the
  // next string is read. Raw runs are checked as UTF-8 as they are scanned:
  // an escape always decodes to whole characters, so the decoded string is
  // valid exactly when every raw run is.
  bool string(std::string_view& text) {
    const char* const start = p_;
    char* out = nullptr;  // the scratch cursor once an escape was seen
    const char* run = start;
    for (;;) {
      p_ = scan::find_escape_or_non_ascii(p_, end_);
      if (p_ == end_) return false;
      const auto c = static_cast<unsigned char>(*p_);
      if (c >= 0x80) {
        const std::size_t length = utf8_sequence(p_, end_);
        if (length == 0) return false;
        p_ += length;
        continue;
      }
      if (c == '"') break;
      if (c != '\\') return false;  // a raw control character
      if (out == nullptr) out = scratch();
      std::memcpy(out, run, static_cast<std::size_t>(p_ - run));
      out += p_ - run;
      ++p_;
      if (!escape(out)) return false;
      run = p_;
    }
    if (out == nullptr) {
      text = std::string_view(start, static_cast<std::size_t>(p_ - start));
    } else {
      std::memcpy(out, run, static_cast<std::size_t>(p_ - run));
      out += p_ - run;
      text = std::string_view(scratch_, static_cast<std::size_t>(out - scratch_));
    }
    ++p_;
    return true;
  }

  // A decoded string is never longer than the text it came from.
  char* scratch() {
    if (scratch_ == nullptr) scratch_ = static_cast<char*>(scratch_storage_->allocate(text_size_, 1));
    return scratch_;
  }

  // After a backslash.
  bool escape(char*& out) {
    if (p_ == end_) return false;
    switch (*p_++) {
      case '"': *out++ = '"'; return true;
      case '\\': *out++ = '\\'; return true;
      case '/': *out++ = '/'; return true;
      case 'b': *out++ = '\b'; return true;
      case 'f': *out++ = '\f'; return true;
      case 'n': *out++ = '\n'; return true;
      case 'r': *out++ = '\r'; return true;
      case 't': *out++ = '\t'; return true;
      case 'u': break;
      default: return false;
    }
    std::uint32_t first = 0;
    if (!hex4(first)) return false;
    if (first >= 0xDC00 && first <= 0xDFFF) return false;
    if (first < 0xD800 || first > 0xDBFF) {
      out = put_utf8(first, out);
      return true;
    }
    // A leading surrogate must be followed by an escaped trailing one.
    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
    p_ += 2;
    std::uint32_t second = 0;
    if (!hex4(second) || second < 0xDC00 || second > 0xDFFF) return false;
    out = put_utf8((((first - 0xD800) << 10) | (second - 0xDC00)) + 0x10000, out);
    return true;
  }

  bool hex4(std::uint32_t& value) {
    if (end_ - p_ < 4) return false;
    for (int k = 0; k < 4; ++k) {
      const int digit = hex_value(p_[k]);
      if (digit < 0) return false;
      value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    p_ += 4;
    return true;
  }

  bool number() {
    const char* const start = p_;
    const bool negative = *p_ == '-';
    if (negative) ++p_;
    if (p_ == end_) return false;
    const char* const digits = p_;
    if (*p_ == '0') {
      ++p_;
    } else if (*p_ >= '1' && *p_ <= '9') {
      while (p_ != end_ && is_digit(*p_)) ++p_;
    } else {
      return false;
    }
    const std::size_t integer_digits = static_cast<std::size_t>(p_ - digits);
    bool is_double = false;
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      const char* const fraction = p_;
      while (p_ != end_ && is_digit(*p_)) ++p_;
      if (p_ == fraction) return false;
      is_double = true;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      const char* const exponent = p_;
      while (p_ != end_ && is_digit(*p_)) ++p_;
      if (p_ == exponent) return false;
      is_double = true;
    }
    // "01" is two tokens, which no container allows after a value: the
    // caller fails on the second digit.

    if (!is_double) {
      // Up to 19 digits never overflow a uint64.
      if (integer_digits <= 19) {
        std::uint64_t magnitude = 0;
        for (const char* d = digits; d != p_; ++d) magnitude = magnitude * 10 + static_cast<unsigned>(*d - '0');
        if (!negative) {
          out_.push_uint64(magnitude);
          return true;
        }
        if (magnitude == 0) {  // -0 is not a negative integer
          out_.push_double(-0.0);
          return true;
        }
        if (magnitude <= std::uint64_t{1} << 63) {
          out_.push_int64(static_cast<std::int64_t>(0 - magnitude));
          return true;
        }
      } else if (!negative) {
        std::uint64_t u = 0;
        auto [ptr, ec] = std::from_chars(digits, p_, u);
        if (ec == std::errc() && ptr == p_) {
          out_.push_uint64(u);
          return true;
        }
      }
    }
    double d = 0;
    auto [ptr, ec] = std::from_chars(start, p_, d);
    if (ec != std::errc() || ptr != p_) {
      // from_chars reports overflow and underflow alike; strtod tells them apart.
      const std::string copy(start, p_);
      d = std::strtod(copy.c_str(), nullptr);
    }
    if (std::isinf(d)) return false;
    out_.push_double(d);
    return true;
  }

  const char* p_;
  const char* const end_;
  const std::size_t text_size_;
  boost::json::value_stack& out_;
  const boost::json::storage_ptr& scratch_storage_;
  char* scratch_ = nullptr;
};

}  // namespace

bool read_fast(std::string_view text, std::size_t max_depth, boost::json::value_stack& out,
               const boost::json::storage_ptr& scratch_storage) {
  Reader reader(text, out, scratch_storage);
  return reader.document(max_depth);
}

}  // namespace orvix::json
