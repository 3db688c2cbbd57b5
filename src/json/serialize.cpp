#include "json/serialize.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "json/byte_scan.h"
#include "json/number_format.h"

namespace orvix::json {

namespace {

// Names are short: an inline loop beats a call to memcmp.
bool byte_less(boost::json::string_view a, boost::json::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

}  // namespace

void CompactWriter::grow(std::size_t n) {
  // std::string offers no way to grow but writing the new bytes, so they
  // are only ever made part of the string a page's worth ahead of the
  // cursor: a large text does not zero and touch memory it does not use.
  // The capacity at least doubles, and is reserved an eighth beyond what
  // is asked: a long text that asks for a little more at each escape is not
  // moved and copied again.
  const std::size_t needed = used_ + n;
  if (needed > out_.capacity()) out_.reserve(std::max(needed + needed / 8, 2 * out_.capacity()));
  out_.resize(std::min(out_.capacity(), std::max(needed, out_.size() + 4096)));
}

// Runs without escapes are copied as they are scanned, sixteen bytes at a
// time, so a long text is read once. Most texts have no escape: the rest is
// written out of line, so that they pay for no more than one scan.
void CompactWriter::string(std::string_view text) {
  const char* const end = text.data() + text.size();
  char* p = room(text.size() + 2);
  *p++ = '"';
  const char* const stop = scan::copy_unescaped(text.data(), end, p, text.data());
  p += stop - text.data();
  if (stop != end) p = escaped_rest(p, stop, text);
  *p++ = '"';
  commit(p);
}

// From the first escape on: room is made for the rest of the text at each
// escape, so the cursor is checked once per escape rather than once per byte.
char* CompactWriter::escaped_rest(char* p, const char* in, std::string_view text) {
  const char* const end = text.data() + text.size();
  while (in != end) {
    // At most six bytes for this one, and the rest raw with the closing quote.
    commit(p);
    p = room(6 + static_cast<std::size_t>(end - in));
    p = scan::write_escape(static_cast<unsigned char>(*in++), p);
    const char* const stop = scan::copy_unescaped(in, end, p, text.data());
    p += stop - in;
    in = stop;
  }
  return p;
}

template <class Integer>
void CompactWriter::integer(Integer value) {
  char* p = room(24);
  commit(std::to_chars(p, p + 24, value).ptr);
}

void CompactWriter::number(std::uint64_t n) { integer(n); }

void CompactWriter::real(double value) {
  if (!std::isfinite(value)) return raw("null");
  // number_format appends to a std::string; a small one stays on the stack.
  std::string text;
  append_double(value, text);
  raw(text);
}

void CompactWriter::value(const Value& v) {
  switch (v.kind()) {
    case boost::json::kind::null: raw("null"); break;
    case boost::json::kind::bool_: raw(v.get_bool() ? std::string_view("true") : std::string_view("false")); break;
    case boost::json::kind::int64: integer(v.get_int64()); break;
    case boost::json::kind::uint64: integer(v.get_uint64()); break;
    case boost::json::kind::double_: real(v.get_double()); break;
    case boost::json::kind::string: {
      const String& s = v.get_string();
      string(std::string_view(s.data(), s.size()));
      break;
    }
    case boost::json::kind::array: {
      raw('[');
      bool first = true;
      for (const Value& element : v.get_array()) {
        if (!first) raw(',');
        first = false;
        value(element);
      }
      raw(']');
      break;
    }
    case boost::json::kind::object: object(v.get_object()); break;
  }
}

void CompactWriter::object(const Object& o) {
  // Members are written in ascending byte order of their names, whatever
  // the order in memory. `members_` is shared down the recursion as a stack.
  const std::size_t base = members_.size();
  for (const auto& member : o) members_.push_back(&member);
  auto begin = members_.begin() + static_cast<std::ptrdiff_t>(base);
  auto by_name = [](const auto* a, const auto* b) { return byte_less(a->key(), b->key()); };
  if (!std::is_sorted(begin, members_.end(), by_name)) std::sort(begin, members_.end(), by_name);
  raw('{');
  for (std::size_t i = base; i < members_.size(); ++i) {
    const auto* member = members_[i];
    if (i != base) raw(',');
    const auto key = member->key();
    string(std::string_view(key.data(), key.size()));
    raw(':');
    value(member->value());
  }
  raw('}');
  members_.resize(base);
}

void serialize_compact(const Value& value, std::string& out) {
  CompactWriter writer(out);
  writer.value(value);
}

std::string to_compact_string(const Value& value) {
  std::string out;
  out.reserve(128);
  serialize_compact(value, out);
  return out;
}

}  // namespace orvix::json
