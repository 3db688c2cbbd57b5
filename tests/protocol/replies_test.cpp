// Replies are written from their parts: the bytes must be those of the
// envelope as a value, members ascending, whatever the id and the texts hold.

#include <gtest/gtest.h>

#include <string>

#include "json/parse.h"
#include "json/serialize.h"
#include "protocol/replies.h"

namespace orvix::protocol {
namespace {

json::Value value_of(std::string_view text) {
  auto parsed = json::parse_json(text);
  EXPECT_TRUE(parsed) << text;
  return parsed ? *parsed : json::Value();
}

std::string written(const Reply& reply) {
  std::string out = "kept:";  // written after what the buffer holds already
  reply.write(out);
  return out;
}

TEST(Reply, ResponseEnvelopeInAscendingOrder) {
  const json::Value id = value_of(R"({"b":[1,-0.0],"a":"x\u0001"})");
  json::Object result;
  result["z"] = 1;
  result["a"] = "\"quoted\"";
  EXPECT_EQ(written(Reply::response(&id, "host.st\"atus", json::Value(result))),
            R"(kept:{"id":{"a":"x\u0001","b":[1,-0.0]},"method":"host.st\"atus",)"
            R"("result":{"a":"\"quoted\"","z":1},"type":"response"})");
  EXPECT_EQ(written(Reply::response(nullptr, "host.log", JsonText{R"({"ok":true})"})),
            R"(kept:{"id":null,"method":"host.log","result":{"ok":true},"type":"response"})");
}

TEST(Reply, ErrorEnvelopeInAscendingOrder) {
  const json::Value id = value_of("18446744073709551615");
  // No method: an empty view that has no address (as a request without one gives).
  EXPECT_EQ(written(Reply::error(&id, std::string_view(), HostError{"unsupported_method", "line\nbreak \xC3\xA9"})),
            "kept:{\"error\":{\"code\":\"unsupported_method\",\"message\":\"line\\nbreak \xC3\xA9\"},"
            "\"id\":18446744073709551615,\"method\":\"\",\"type\":\"error\"}");
}

TEST(Reply, SameBytesAsTheEnvelopeValue) {
  // The envelope built as a value and serialised is the reference.
  const json::Value id = value_of(R"("id \\ with \"escapes\" and \u2028")");
  const HostError error{"runtime_timeout", "The runtime did not answer: \t tab"};
  json::Object error_value;
  error_value["message"] = error.message;
  error_value["code"] = error.code;
  json::Object envelope;
  envelope["type"] = "error";
  envelope["method"] = "runtime.request";
  envelope["id"] = id;
  envelope["error"] = error_value;
  std::string reply_text;
  Reply::error(&id, "runtime.request", error).write(reply_text);
  EXPECT_EQ(reply_text, json::to_compact_string(envelope));
}

}  // namespace
}  // namespace orvix::protocol
