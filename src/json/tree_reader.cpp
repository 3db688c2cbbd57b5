#include "json/tree_reader.h"

#include <cstring>

#include "json/byte_scan.h"
#include "json/text_rules.h"

namespace orvix::json {

namespace {

constexpr std::size_t kFirstMembers = 4;

class TreeReader {
 public:
  TreeReader(std::string_view text, const boost::json::storage_ptr& storage)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), storage_(storage) {}

  bool document(Value& out, std::size_t max_depth) {
    if (!value(out, max_depth)) return false;
    skip_whitespace();
    return p_ == end_;
  }

 private:
  void skip_whitespace() {
    while (p_ != end_ && is_whitespace(*p_)) ++p_;
  }

  bool value(Value& out, std::size_t remaining_depth) {
    skip_whitespace();
    if (p_ == end_) return false;
    switch (*p_) {
      case '"': return string(out);
      case '{': return remaining_depth > 0 && object(out, remaining_depth - 1);
      case '[': return remaining_depth > 0 && array(out, remaining_depth - 1);
      case 't': return literal("true") && (out.emplace_bool() = true, true);
      case 'f': return literal("false") && (out.emplace_bool() = false, true);
      case 'n': return literal("null") && (out.emplace_null(), true);
      default: return number(out);
    }
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
      return false;
    }
    p_ += word.size();
    return true;
  }

  // A repeated name keeps its first place and its later value (parse.h).
  bool object(Value& out, std::size_t remaining_depth) {
    ++p_;
    Object& members = out.emplace_object();
    skip_whitespace();
    if (p_ != end_ && *p_ == '}') {
      ++p_;
      return true;
    }
    // Room for a request's envelope at once, rather than a new table at
    // each of its first members.
    members.reserve(kFirstMembers);
    for (;;) {
      skip_whitespace();
      if (p_ == end_ || *p_ != '"') return false;
      const char* const close = closing_quote();
      if (close == nullptr) return false;
      NameBuffer buffer(storage_, static_cast<std::size_t>(close - p_));
      std::string_view name;
      if (!key(buffer, close, name)) return false;
      skip_whitespace();
      if (p_ == end_ || *p_ != ':') return false;
      ++p_;
      // Read straight into its place: nothing to move afterwards.
      if (!value(members.insert_or_assign(name, nullptr).first->value(), remaining_depth)) return false;
      skip_whitespace();
      if (p_ == end_) return false;
      const char next = *p_++;
      if (next == '}') return true;
      if (next != ',') return false;
    }
  }

  bool array(Value& out, std::size_t remaining_depth) {
    ++p_;
    Array& elements = out.emplace_array();
    skip_whitespace();
    if (p_ != end_ && *p_ == ']') {
      ++p_;
      return true;
    }
    for (;;) {
      if (!value(elements.emplace_back(nullptr), remaining_depth)) return false;
      skip_whitespace();
      if (p_ == end_) return false;
      const char next = *p_++;
      if (next == ']') return true;
      if (next != ',') return false;
    }
  }

  // At the opening quote: the end of the string's text, its closing quote,
  // or null when the text ends first. A quote ends the string when the run
  // of backslashes before it is even: each backslash takes the byte after
  // it as its escape's letter, and in a valid string no letter or hex digit
  // is a quote or a backslash. Of an invalid string it finds some place
  // that the decoding then refuses.
  const char* closing_quote() const {
    const char* const start = p_ + 1;
    for (const char* p = start;;) {
      const auto* quote = static_cast<const char*>(std::memchr(p, '"', static_cast<std::size_t>(end_ - p)));
      if (quote == nullptr) return nullptr;
      const char* run = quote;
      while (run != start && run[-1] == '\\') --run;
      if ((quote - run) % 2 == 0) return quote;
      p = quote + 1;
    }
  }

  bool string(Value& out) {
    const char* const close = closing_quote();
    if (close == nullptr) return false;
    String& s = out.emplace_string();
    s.reserve(static_cast<std::size_t>(close - p_ - 1));  // a decoded string is never longer than its text
    char* const last = decode(p_ + 1, close, s.data());
    if (last == nullptr) return false;
    s.grow(static_cast<std::size_t>(last - s.data()));
    p_ = close + 1;
    return true;
  }

  // A name's decoded characters, until the object has copied them: on the
  // stack when short, else from the storage, and given back.
  class NameBuffer {
   public:
    NameBuffer(const boost::json::storage_ptr& storage, std::size_t size)
        : storage_(storage),
          size_(size),
          data_(size <= sizeof inline_ ? inline_ : static_cast<char*>(storage->allocate(size, 1))) {}
    ~NameBuffer() {
      if (data_ != inline_) storage_->deallocate(data_, size_, 1);
    }
    NameBuffer(const NameBuffer&) = delete;
    NameBuffer& operator=(const NameBuffer&) = delete;
    char* data() { return data_; }

   private:
    const boost::json::storage_ptr& storage_;
    const std::size_t size_;
    char inline_[64];
    char* const data_;
  };

  // At the opening quote of a name.
  bool key(NameBuffer& buffer, const char* close, std::string_view& name) {
    const char* const last = decode(p_ + 1, close, buffer.data());
    if (last == nullptr) return false;
    name = std::string_view(buffer.data(), static_cast<std::size_t>(last - buffer.data()));
    p_ = close + 1;
    return true;
  }

  // Decodes the text [in, close) at `out` (room for as many bytes) and
  // returns the end of what it wrote, or null at a fault: raw bytes must be
  // UTF-8 without control characters. Plain runs are copied as they are
  // scanned: the decoded cursor never passes the reading one, so the copy
  // stays within the room. (The cursors and the floor are locals: stores of
  // chars through them may not be taken to alias them.)
  char* decode(const char* in, const char* const close, char* out) const {
    const char* const floor = begin_;
    for (;;) {
      const char* const stop = scan::copy_plain_ascii(in, close, out, floor);
      out += stop - in;
      in = stop;
      if (in == close) return out;
      const auto c = static_cast<unsigned char>(*in);
      if (c >= 0x80) {
        const std::size_t length = utf8_sequence_length(in, close);
        if (length == 0) return nullptr;
        for (std::size_t i = 0; i < length; ++i) out[i] = in[i];
        in += length;
        out += length;
        continue;
      }
      if (c != '\\') return nullptr;  // a raw control character (a quote cannot come before `close`)
      if (!escape(in, close, out)) return nullptr;
    }
  }

  // At a backslash.
  static bool escape(const char*& in, const char* const close, char*& out) {
    ++in;
    if (in == close) return false;
    const char letter = *in++;
    if (letter != 'u') {
      const int byte = simple_escape(letter);
      if (byte < 0) return false;
      *out++ = static_cast<char>(byte);
      return true;
    }
    const UnicodeEscape read = read_unicode_escape(in, close);
    if (read.fault != EscapeFault::kNone) return false;
    in = read.end;
    out = encode_utf8(read.code_point, out);
    return true;
  }

  bool number(Value& out) {
    const auto number = read_number(p_, end_);
    if (!number) return false;
    switch (number->kind) {
      case Number::Kind::kUnsigned: out.emplace_uint64() = number->u; break;
      case Number::Kind::kSigned: out.emplace_int64() = number->i; break;
      case Number::Kind::kDouble: out.emplace_double() = number->d; break;
    }
    return true;
  }

  const char* const begin_;  // the lowest address a scan may read
  const char* p_;
  const char* const end_;
  const boost::json::storage_ptr& storage_;
};

}  // namespace

bool read_tree(std::string_view text, std::size_t max_depth, Value& out) {
  TreeReader reader(text, out.storage());
  return reader.document(out, max_depth);
}

}  // namespace orvix::json
