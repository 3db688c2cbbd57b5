// Parsing runs the fast reader; when it refuses the text, the tokenizer reads
// it again: it names the fault and its place in the host's words, or, should
// the fast reader ever refuse a valid text, builds the value itself.

#include "json/parse.h"

#include <boost/json/value_stack.hpp>

#include "json/fast_reader.h"
#include "json/tokenizer.h"
#include "json/tree_reader.h"

namespace orvix::json {

namespace {
// The value stack's own working memory for small documents, on the C stack.
constexpr std::size_t kStackScratch = 1024;

// The tokenizer's reading: the fault named, or the value should the fast
// reader ever refuse a valid text.
Result<Value> read_exactly(std::string_view bytes, boost::json::storage_ptr storage) {
  boost::json::value_stack exact;
  exact.reset(storage);
  if (auto read = read_document(bytes, kMaxDepth, exact); !read) {
    return Failure(Failure::Kind::kInvalidInput, read.error().description());
  }
  return exact.release();
}
}  // namespace

Result<Value> parse_json(std::string_view bytes) { return parse_json(bytes, {}); }

Result<Value> parse_json(std::string_view bytes, boost::json::storage_ptr storage) {
  return parse_json(bytes, std::move(storage), nullptr);
}

Result<Value> parse_json(std::string_view bytes, boost::json::storage_ptr storage, char* scratch) {
  {
    unsigned char stack_scratch[kStackScratch];
    boost::json::value_stack fast({}, stack_scratch, sizeof stack_scratch);
    fast.reset(storage);
    if (read_fast(bytes, kMaxDepth, fast, storage, scratch)) return fast.release();
  }
  return read_exactly(bytes, std::move(storage));
}

Result<Value> parse_json_once(std::string_view bytes, boost::json::storage_ptr storage) {
  {
    Value value(storage);
    if (read_tree(bytes, kMaxDepth, value)) return value;
  }
  return read_exactly(bytes, std::move(storage));
}

}  // namespace orvix::json
