#include "json/serialize.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "json/number_format.h"

namespace orvix::json {

namespace {

// Bytes that cannot stand raw inside a JSON string.
constexpr auto kNeedsEscape = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = true;
  table['"'] = true;
  table['\\'] = true;
  return table;
}();

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

// Appends to a string through a raw cursor: room is made once per token,
// not once per byte.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out), used_(out.size()) {}
  ~Writer() { out_.resize(used_); }

  // Room for `n` more bytes; returns where they go.
  char* room(std::size_t n) {
    if (out_.size() - used_ < n) {
      // The buffer's unused tail is scratch; std::string offers no cheaper
      // way to grow without writing the new bytes.
      out_.resize(std::max(used_ + n, out_.size() * 2));
    }
    return out_.data() + used_;
  }
  void commit(char* end) { used_ = static_cast<std::size_t>(end - out_.data()); }

  void put(char c) {
    char* p = room(1);
    *p = c;
    commit(p + 1);
  }
  void put(std::string_view text) {
    char* p = room(text.size());
    std::memcpy(p, text.data(), text.size());
    commit(p + text.size());
  }

  void string(std::string_view text) {
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* s = begin;
    while (s != end && !kNeedsEscape[static_cast<unsigned char>(*s)]) ++s;
    if (s == end) {  // the common case: nothing to escape, one copy
      char* p = room(text.size() + 2);
      *p++ = '"';
      std::memcpy(p, begin, text.size());
      p += text.size();
      *p++ = '"';
      commit(p);
      return;
    }
    put('"');
    escaped_tail(begin, s, end);
    put('"');
  }

  // Writes [run, end) where `s` is the first byte that needs an escape.
  void escaped_tail(const char* run, const char* s, const char* end) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (; s != end; ++s) {
      const auto c = static_cast<unsigned char>(*s);
      if (!kNeedsEscape[c]) continue;
      put(std::string_view(run, static_cast<std::size_t>(s - run)));
      run = s + 1;
      switch (c) {
        case '"': put("\\\""); break;
        case '\\': put("\\\\"); break;
        case '\b': put("\\b"); break;
        case '\t': put("\\t"); break;
        case '\n': put("\\n"); break;
        case '\f': put("\\f"); break;
        case '\r': put("\\r"); break;
        default: {
          const char escaped[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
          put(std::string_view(escaped, sizeof escaped));
        }
      }
    }
    put(std::string_view(run, static_cast<std::size_t>(end - run)));
  }

  template <class Integer>
  void integer(Integer value) {
    char* p = room(24);
    commit(std::to_chars(p, p + 24, value).ptr);
  }

  void real(double value) {
    if (!std::isfinite(value)) return put("null");
    // number_format appends to a std::string; a small one stays on the stack.
    std::string text;
    append_double(value, text);
    put(text);
  }

  void value(const Value& v) {
    switch (v.kind()) {
      case boost::json::kind::null: put("null"); break;
      case boost::json::kind::bool_: put(v.get_bool() ? std::string_view("true") : std::string_view("false")); break;
      case boost::json::kind::int64: integer(v.get_int64()); break;
      case boost::json::kind::uint64: integer(v.get_uint64()); break;
      case boost::json::kind::double_: real(v.get_double()); break;
      case boost::json::kind::string: {
        const String& s = v.get_string();
        string(std::string_view(s.data(), s.size()));
        break;
      }
      case boost::json::kind::array: {
        put('[');
        bool first = true;
        for (const Value& element : v.get_array()) {
          if (!first) put(',');
          first = false;
          value(element);
        }
        put(']');
        break;
      }
      case boost::json::kind::object: object(v.get_object()); break;
    }
  }

  void object(const Object& o) {
    // Members are written in ascending byte order of their names, whatever
    // the order in memory. `members_` is shared down the recursion as a stack.
    const std::size_t base = members_.size();
    for (const auto& member : o) members_.push_back(&member);
    auto begin = members_.begin() + static_cast<std::ptrdiff_t>(base);
    auto by_name = [](const auto* a, const auto* b) { return byte_less(a->key(), b->key()); };
    if (!std::is_sorted(begin, members_.end(), by_name)) std::sort(begin, members_.end(), by_name);
    put('{');
    for (std::size_t i = base; i < members_.size(); ++i) {
      const auto* member = members_[i];
      if (i != base) put(',');
      const auto key = member->key();
      string(std::string_view(key.data(), key.size()));
      put(':');
      value(member->value());
    }
    put('}');
    members_.resize(base);
  }

 private:
  std::string& out_;
  std::size_t used_;
  std::vector<const boost::json::key_value_pair*> members_;
};

}  // namespace

void serialize_compact(const Value& value, std::string& out) {
  Writer writer(out);
  writer.value(value);
}

std::string to_compact_string(const Value& value) {
  std::string out;
  out.reserve(128);
  serialize_compact(value, out);
  return out;
}

}  // namespace orvix::json
