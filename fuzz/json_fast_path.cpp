// The JSON reader's two paths, side by side. Properties:
//   - the fast reader (read_fast) and the tokenizer (read_document) accept and
//     refuse the same texts;
//   - on an accepted text they build the same value, kind for kind (uint64
//     against int64, -0.0 against 0, member by member);
//   - in the channel's arena the fast reader builds that value too, and so
//     does reading in one pass straight into the value.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <boost/json/value_stack.hpp>

#include "fuzz_check.h"
#include "json/arena.h"
#include "json/fast_reader.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"

using orvix::fuzz::require;
namespace json = orvix::json;

namespace {

// The serialiser shows every difference but one: an integer's kind.
bool same_integer_kinds(const json::Value& a, const json::Value& b) {
  if (a.kind() != b.kind()) return false;
  if (const json::Array* x = a.if_array()) {
    const json::Array& y = b.get_array();
    for (std::size_t i = 0; i < x->size() && i < y.size(); ++i) {
      if (!same_integer_kinds((*x)[i], y[i])) return false;
    }
  } else if (const json::Object* x = a.if_object()) {
    for (const auto& member : *x) {
      const json::Value* other = b.get_object().if_contains(member.key());
      if (other == nullptr || !same_integer_kinds(member.value(), *other)) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  boost::json::value_stack fast;
  const bool fast_ok = json::read_fast(text, json::kMaxDepth, fast, {});
  boost::json::value_stack exact;
  const auto exact_ok = json::read_document(text, json::kMaxDepth, exact);
  require(fast_ok == exact_ok.has_value(), "the fast reader and the tokenizer agree on accepting",
          fast_ok ? "fast: accepted" : "fast: refused",
          exact_ok ? "tokenizer: accepted" : exact_ok.error().description());
  const auto in_place = json::parse_json_once(text, {});
  require(in_place.has_value() == fast_ok, "reading in one pass accepts the same texts", text);
  if (!fast_ok) return 0;

  const json::Value a = fast.release();
  const json::Value b = exact.release();
  const std::string fast_text = json::to_compact_string(a);
  const std::string exact_text = json::to_compact_string(b);
  require(fast_text == exact_text, "both read the same value", fast_text, exact_text);
  require(same_integer_kinds(a, b), "both give integers the same kind", fast_text);

  static json::Arena arena;  // kept between inputs, as the channel keeps it
  arena.reset();
  const auto in_arena = json::parse_json(text, boost::json::storage_ptr(&arena));
  require(in_arena.has_value(), "the arena path accepts it too", fast_text);
  require(json::to_compact_string(*in_arena) == fast_text, "the arena path reads the same value", fast_text);
  require(json::to_compact_string(*in_place) == fast_text, "reading in one pass reads the same value", fast_text);
  return 0;
}
