// The JSON reader's two paths, side by side. Properties:
//   - the one-pass reader (read_tree) and the tokenizer (read_document) accept
//     and refuse the same texts;
//   - on an accepted text they build the same value, kind for kind (uint64
//     against int64, -0.0 against 0, member by member);
//   - in the channel's arena the one-pass reader builds that value too.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <boost/json/value_stack.hpp>

#include "fuzz_check.h"
#include "json/arena.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"
#include "json/tree_reader.h"

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
  json::Value once;
  const bool once_ok = json::read_tree(text, json::kMaxDepth, once);
  boost::json::value_stack exact;
  const auto exact_ok = json::read_document(text, json::kMaxDepth, exact);
  require(once_ok == exact_ok.has_value(), "the one-pass reader and the tokenizer agree on accepting",
          once_ok ? "one pass: accepted" : "one pass: refused",
          exact_ok ? "tokenizer: accepted" : exact_ok.error().description());
  if (!once_ok) return 0;

  const json::Value b = exact.release();
  const std::string once_text = json::to_compact_string(once);
  const std::string exact_text = json::to_compact_string(b);
  require(once_text == exact_text, "both read the same value", once_text, exact_text);
  require(same_integer_kinds(once, b), "both give integers the same kind", once_text);

  static json::Arena arena;  // kept between inputs, as the channel keeps it
  arena.reset();
  const auto in_arena = json::parse_json(text, boost::json::storage_ptr(&arena));
  require(in_arena.has_value(), "the arena path accepts it too", once_text);
  require(json::to_compact_string(*in_arena) == once_text, "the arena path reads the same value", once_text);
  return 0;
}
