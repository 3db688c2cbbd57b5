#include <gtest/gtest.h>

#include <string>

#include "discovery/descriptor_text.h"

namespace orvix::discovery {
namespace {

std::string fault_of(std::string_view text) {
  auto read = read_descriptor(text);
  if (read) return "ok";
  return read.error().text;
}

TEST(DescriptorText, ReadsObjectAndArrayForms) {
  auto object = read_descriptor(
      R"( {"updatedAt":18446744073709551615,"wsUrl":"ws://127.0.0.1:9000/","extra":{"a":[1,{"b":null}]},)"
      R"("runtimeVersion":"1.2.3","pid":4294967295,"protocolVersion":1} )");
  ASSERT_TRUE(object) << object.error().text;
  EXPECT_EQ(object->protocol_version, 1u);
  EXPECT_EQ(object->pid, 4294967295u);
  EXPECT_EQ(object->runtime_version, "1.2.3");
  EXPECT_EQ(object->ws_url, "ws://127.0.0.1:9000/");
  EXPECT_EQ(object->updated_at, 18446744073709551615u);

  auto array = read_descriptor(R"([1,7,"v","ws://h:1/",0])");
  ASSERT_TRUE(array);
  EXPECT_EQ(array->pid, 7u);
  EXPECT_EQ(array->ws_url, "ws://h:1/");
}

TEST(DescriptorText, WritesTheCompactObjectThatReadsBack) {
  const RuntimeConnectionDescriptor written{1, 4294967295u, "v \"1\"\n", "ws://127.0.0.1:9/", 18446744073709551615u};
  const std::string text = write_descriptor(written);
  EXPECT_EQ(text, R"({"pid":4294967295,"protocolVersion":1,"runtimeVersion":"v \"1\"\n",)"
                  R"("updatedAt":18446744073709551615,"wsUrl":"ws://127.0.0.1:9/"})");
  auto read = read_descriptor(text);
  ASSERT_TRUE(read) << read.error().text;
  EXPECT_EQ(read->pid, written.pid);
  EXPECT_EQ(read->runtime_version, written.runtime_version);
  EXPECT_EQ(read->ws_url, written.ws_url);
  EXPECT_EQ(read->updated_at, written.updated_at);
}

TEST(DescriptorText, NamesValuesOfTheWrongType) {
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":"12","runtimeVersion":"v","wsUrl":"w","updatedAt":5})"),
            "invalid type: string \"12\", expected u32 at line 1 column 31");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1.0,"pid":1,"runtimeVersion":"v","wsUrl":"w","updatedAt":5})"),
            "invalid type: floating point `1.0`, expected u32 at line 1 column 22");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":1,"runtimeVersion":null,"wsUrl":"w","updatedAt":5})"),
            "invalid type: null, expected a string at line 1 column 50");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":1,"runtimeVersion":5,"wsUrl":"w","updatedAt":5})"),
            "invalid type: integer `5`, expected a string at line 1 column 47");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":1,"runtimeVersion":"v","wsUrl":{"a":1},"updatedAt":5})"),
            "invalid type: map, expected a string at line 1 column 58");
  EXPECT_EQ(fault_of(R"({"protocolVersion":true})"), "invalid type: boolean `true`, expected u32 at line 1 column 23");
  EXPECT_EQ(fault_of(R"({"updatedAt":[]})"), "invalid type: sequence, expected u64 at line 1 column 13");
  EXPECT_EQ(fault_of("5"), "invalid type: integer `5`, expected struct RuntimeConnectionDescriptor at line 1 column 1");
  EXPECT_EQ(fault_of("\"a\\nb\""),
            "invalid type: string \"a\\nb\", expected struct RuntimeConnectionDescriptor at line 1 column 6");
  EXPECT_EQ(fault_of("1e20"),
            "invalid type: floating point `100000000000000000000.0`, expected struct RuntimeConnectionDescriptor at "
            "line 1 column 4");
}

TEST(DescriptorText, RefusesIntegersOutOfRange) {
  EXPECT_EQ(fault_of(R"({"protocolVersion":-1,"pid":1,"runtimeVersion":"v","wsUrl":"w","updatedAt":5})"),
            "invalid value: integer `-1`, expected u32 at line 1 column 21");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":4294967296,"runtimeVersion":"v","wsUrl":"w","updatedAt":5})"),
            "invalid value: integer `4294967296`, expected u32 at line 1 column 37");
  EXPECT_EQ(fault_of(R"({"updatedAt":18446744073709551616})"),
            "invalid type: floating point `18446744073709552000.0`, expected u64 at line 1 column 33");
}

TEST(DescriptorText, PlacesMissingAndRepeatedFields) {
  EXPECT_EQ(fault_of(R"({"protocolVersion":2,"pid":1,"runtimeVersion":"v","updatedAt":5})"),
            "missing field `wsUrl` at line 1 column 64");
  // Placed just past the closing bracket, whatever comes after it.
  EXPECT_EQ(fault_of("{\"protocolVersion\":1,\"pid\":1,\"runtimeVersion\":\"v\",\"wsUrl\":\"w\"}\n"),
            "missing field `updatedAt` at line 1 column 62");
  EXPECT_EQ(fault_of("{\"pid\":1} x"), "missing field `protocolVersion` at line 1 column 9");
  EXPECT_EQ(fault_of("[1,2,\"v\"]\n\n"),
            "invalid length 3, expected struct RuntimeConnectionDescriptor with 5 elements at line 1 column 9");
  EXPECT_EQ(fault_of(R"({"protocolVersion":1,"pid":1,"pid":2,"runtimeVersion":"v","wsUrl":"w","updatedAt":5})"),
            "duplicate field `pid` at line 1 column 34");
  // A repeated name: the end of the object is looked for first, which passes
  // the whitespace after the name, and the closing brace when it is next.
  EXPECT_EQ(fault_of("{\"wsUrl\":\"a\",\n \"wsUrl\" : \"b\"}"), "duplicate field `wsUrl` at line 2 column 9");
  EXPECT_EQ(fault_of("{\"pid\":1,\"pid\"\n:2}"), "duplicate field `pid` at line 2 column 0");
  EXPECT_EQ(fault_of(R"({"pid":1,"pid"} )"), "duplicate field `pid` at line 1 column 15");
  EXPECT_EQ(fault_of("{}"), "missing field `protocolVersion` at line 1 column 2");
}

// A number is read up to its last digit; a fault about it counts up to that
// byte, whatever follows it.
TEST(DescriptorText, PlacesFaultsOnTheLastByteOfWhatWasRead) {
  EXPECT_EQ(fault_of(R"({"pid":7.5})"), "invalid type: floating point `7.5`, expected u32 at line 1 column 10");
  EXPECT_EQ(fault_of("{\"pid\":7.5 \n}"), "invalid type: floating point `7.5`, expected u32 at line 1 column 10");
  EXPECT_EQ(fault_of(R"({"updatedAt":-3})"), "invalid value: integer `-3`, expected u64 at line 1 column 15");
  EXPECT_EQ(fault_of(R"({"wsUrl":"a","wsUrl":"b"})"), "duplicate field `wsUrl` at line 1 column 20");

  EXPECT_EQ(fault_of(R"([1,2,"x","ws://a:1/",7.25])"),
            "invalid type: floating point `7.25`, expected u64 at line 1 column 25");
  EXPECT_EQ(fault_of(R"([1,4294967296])"), "invalid value: integer `4294967296`, expected u32 at line 1 column 13");
  // Values of another kind where a number belongs: a scalar is read whole, a
  // container not at all.
  EXPECT_EQ(fault_of(R"({"pid":"7" })"), "invalid type: string \"7\", expected u32 at line 1 column 10");
  EXPECT_EQ(fault_of(R"({"pid":false})"), "invalid type: boolean `false`, expected u32 at line 1 column 12");
  EXPECT_EQ(fault_of(R"({"protocolVersion":{}})"), "invalid type: map, expected u32 at line 1 column 19");
  EXPECT_EQ(fault_of(R"({"pid":1e400})"), "number out of range at line 1 column 12");
}

TEST(DescriptorText, ChecksArrayLength) {
  EXPECT_EQ(fault_of(R"([1,2,"v"])"),
            "invalid length 3, expected struct RuntimeConnectionDescriptor with 5 elements at line 1 column 9");
  EXPECT_EQ(fault_of(R"([1,2,"v","w",5,6])"), "trailing characters at line 1 column 16");
  EXPECT_EQ(fault_of(R"([1,2,"v","w",5,])"), "trailing comma at line 1 column 16");
}

TEST(DescriptorText, ReportsSyntaxFaults) {
  EXPECT_EQ(fault_of(""), "EOF while parsing a value at line 1 column 0");
  EXPECT_EQ(fault_of("\xEF\xBB\xBF{}"), "expected value at line 1 column 1");
  EXPECT_EQ(fault_of(R"([1,7,"v","w",0] {})"), "trailing characters at line 1 column 17");
  EXPECT_EQ(fault_of(R"([1,7,"v","w",0],)"), "trailing characters at line 1 column 16");
  EXPECT_EQ(fault_of("{\"pid\":1,"), "EOF while parsing a value at line 1 column 9");
  EXPECT_EQ(fault_of("{\"pid\" 1}"), "expected `:` at line 1 column 8");
  EXPECT_EQ(fault_of("{pid:1}"), "key must be a string at line 1 column 2");
  EXPECT_EQ(fault_of("{\"x\":[1,]}"), "trailing comma at line 1 column 9");
  EXPECT_EQ(fault_of("{\"pid\":1,}"), "trailing comma at line 1 column 10");
}

}  // namespace
}  // namespace orvix::discovery
