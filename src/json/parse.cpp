// Parsing runs the one-pass reader; when it refuses the text, the tokenizer
// reads it again: it names the fault and its place in the host's words, or,
// should the one-pass reader ever refuse a valid text, builds the value
// itself.

#include "json/parse.h"

#include <boost/json/value_stack.hpp>

#include "json/tokenizer.h"
#include "json/tree_reader.h"

namespace orvix::json {

Result<Value> parse_json(std::string_view bytes) { return parse_json(bytes, {}); }

Result<Value> parse_json(std::string_view bytes, boost::json::storage_ptr storage) {
  {
    Value value(storage);
    if (read_tree(bytes, kMaxDepth, value)) return value;
  }
  boost::json::value_stack exact;
  exact.reset(std::move(storage));
  if (auto read = read_document(bytes, kMaxDepth, exact); !read) {
    return Failure(Failure::Kind::kInvalidInput, read.error().description());
  }
  return exact.release();
}

}  // namespace orvix::json
