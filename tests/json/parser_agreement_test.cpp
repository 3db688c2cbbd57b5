// The one-pass reader and the tokenizer that names faults must agree on which texts are JSON and on the value each one
// is: a text one accepts and the other refuses would either lose its fault
// description or reject a valid message, and a value that differs would
// change what the host answers.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include <cstring>

#include <boost/json/value_stack.hpp>

#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"
#include "json/tree_reader.h"

namespace orvix::json {
namespace {

const char* const kSeeds[] = {
    R"({"id":1,"method":"hello","params":{"a":[1,-2,3.5e10,true,false,null,"x\u00e9\ud83d\ude00"]}})",
    R"([{"k":"v"},[],{},"\"\\\/\b\f\n\r\t",0,-0,1E+2,1e-2,18446744073709551616,-9223372036854775809])",
    R"(  {"a" : { "b" : [ 1 , 2 ] } }  )",
    "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"",
    // Longer than a scan word, with escapes, controls and UTF-8 across word edges.
    "{\"abcdefgh\\u0041ijklmnop\":\"0123456\xC3\xA9\\n89abcde\\\"fghijklm\xF0\x9F\x98\x80nopqrst\\\\uvwx\","
    "\"n\":[123456789012345678,-1234567890123456789,12345678901234567890,-0.0,1.5e-300,9007199254740993]}",
};

// Bytes that matter to a JSON reader.
const char kAlphabet[] = "{}[],:\"\\/-+.eE0123456789tfnulrsabx \t\r\n\x01\x7f\xc3\xa9\xed\xa0\x80\xff";

std::string mutate(std::string text, std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 3);
  std::uniform_int_distribution<std::size_t> byte(0, sizeof kAlphabet - 2);
  const int edits = 1 + static_cast<int>(random() % 3);
  for (int e = 0; e < edits && !text.empty(); ++e) {
    std::uniform_int_distribution<std::size_t> at(0, text.size() - 1);
    switch (kind(random)) {
      case 0: text[at(random)] = kAlphabet[byte(random)]; break;
      case 1: text.insert(at(random), 1, kAlphabet[byte(random)]); break;
      case 2: text.erase(at(random), 1); break;
      default: text.resize(at(random)); break;
    }
  }
  return text;
}

// Same kinds and the same scalars all the way down (-0.0 and 0.0 differ, and
// so do uint64 1 and int64 1); object members compared by name.
bool identical(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case boost::json::kind::double_: {
      const double x = a.get_double();
      const double y = b.get_double();
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case boost::json::kind::array: {
      const Array& x = a.get_array();
      const Array& y = b.get_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!identical(x[i], y[i])) return false;
      }
      return true;
    }
    case boost::json::kind::object: {
      const Object& x = a.get_object();
      const Object& y = b.get_object();
      if (x.size() != y.size()) return false;
      for (const auto& member : x) {
        const Value* other = y.if_contains(member.key());
        if (other == nullptr || !identical(member.value(), *other)) return false;
      }
      return true;
    }
    default: return a == b;
  }
}

// The one-pass reader's verdict and value against the tokenizer's.
void expect_agreement(const std::string& text) {
  Value once;
  const bool once_ok = read_tree(text, kMaxDepth, once);
  boost::json::value_stack exact;
  auto exact_ok = read_document(text, kMaxDepth, exact);
  ASSERT_EQ(once_ok, exact_ok.has_value()) << "text: " << text << "\none pass: " << (once_ok ? "ok" : "refused")
                                           << "\ntokenizer: " << (exact_ok ? "ok" : exact_ok.error().description());
  if (once_ok) {
    const Value b = exact.release();
    ASSERT_TRUE(identical(once, b)) << "text: " << text << "\none pass: " << to_compact_string(once)
                                    << "\ntokenizer: " << to_compact_string(b);
  }
}

// Mutated messages: the one-pass reader and the tokenizer build the same value,
// parse_json() accepts exactly what find_first_fault() finds no fault in, and
// what is accepted is written back as JSON that reads as the same value.
TEST(ParserAgreement, ReadersAgreeOnMutatedMessages) {
  std::mt19937 random(20261208);
  int accepted = 0;
  for (int i = 0; i < 60000; ++i) {
    const std::string text = mutate(kSeeds[i % std::size(kSeeds)], random);
    expect_agreement(text);
    if (HasFatalFailure()) return;
    auto parsed = parse_json(text);
    auto fault = find_first_fault(text, kMaxDepth);
    ASSERT_EQ(parsed.has_value(), !fault.has_value())
        << "text: " << text << "\nfast path: " << (parsed ? "ok" : parsed.error().text)
        << "\ntokenizer: " << (fault ? fault->description() : "ok");
    if (parsed) {
      ++accepted;
      auto again = parse_json(to_compact_string(*parsed));
      ASSERT_TRUE(again) << text;
      ASSERT_EQ(to_compact_string(*again), to_compact_string(*parsed)) << text;
    }
  }
  EXPECT_GT(accepted, 1000);
}

TEST(ParserAgreement, NumbersAtTheirKindBoundaries) {
  for (const char* text : {"18446744073709551615",
                           "18446744073709551616",
                           "-9223372036854775808",
                           "-9223372036854775809",
                           "-0",
                           "-0.0",
                           "0e0",
                           "-0e5",
                           "1e308",
                           "1e309",
                           "-1e309",
                           "1e-400",
                           "2.4703282292062327e-324",
                           "00",
                           "-",
                           "1.",
                           ".5",
                           "1e",
                           "1e+",
                           "9999999999999999999",
                           "10000000000000000000",
                           "123456789012345678901234567890",
                           "-123456789012345678901234567890",
                           "[1,-1,1.0,-1.0]"}) {
    expect_agreement(text);
  }
}

TEST(ParserAgreement, NestingAtTheLimit) {
  for (std::size_t depth : {126, 127, 128}) {
    expect_agreement(std::string(depth, '[') + std::string(depth, ']'));
    std::string objects;
    for (std::size_t i = 0; i < depth; ++i) objects += "{\"a\":";
    expect_agreement(objects + "1" + std::string(depth, '}'));
  }
}

TEST(ParserAgreement, StringsAtEveryOffsetOfAScanWord) {
  // Each interesting byte sequence at each offset of the sixteen- and eight-byte scans.
  for (const char* inner :
       {"\\n", "\\u00e9", "\\ud83d\\ude00", "\\ud83d", "\\udc00", "\xC3\xA9", "\xC3", "\xE2\x82\xAC", "\xED\xA0\x80",
        "\xF0\x9F\x98\x80", "\xF4\x90\x80\x80", "\xC0\xAF", "\x01", "\x7F", "\\x", "\"",
        // Runs of backslashes before a quote: even, the string ends; odd, it goes on.
        "\\\\\"", "\\\\\\\"", "\\u12\\\"", "\\\\\\\\\\\"\\\\"}) {
    for (std::size_t offset = 0; offset < 33; ++offset) {
      expect_agreement("\"" + std::string(offset, 'a') + inner + std::string(9, 'b') + "\"");
      expect_agreement("\"" + std::string(offset, 'a') + inner);
      // Escapes ahead of it shift where it is decoded by all their lengths.
      expect_agreement("[\"\\ud83d\\ude00\\u00e9\\n\",\"\\\\" + std::string(offset, 'a') + inner + "\\tb\"]");
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace orvix::json
