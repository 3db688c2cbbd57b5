// The fast path (Boost's parser) and the tokenizer that names faults must
// agree on which texts are JSON: a text one accepts and the other refuses
// would either lose its fault description or reject a valid message.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "json/parse.h"
#include "json/serialize.h"
#include "json/tokenizer.h"

namespace orvix::json {
namespace {

const char* const kSeeds[] = {
    R"({"id":1,"method":"hello","params":{"a":[1,-2,3.5e10,true,false,null,"x\u00e9\ud83d\ude00"]}})",
    R"([{"k":"v"},[],{},"\"\\\/\b\f\n\r\t",0,-0,1E+2,1e-2,18446744073709551616,-9223372036854775809])",
    R"(  {"a" : { "b" : [ 1 , 2 ] } }  )",
    "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"",
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

TEST(ParserAgreement, FastPathAndTokenizerAcceptTheSameTexts) {
  std::mt19937 random(20261207);
  int accepted = 0;
  for (int i = 0; i < 60000; ++i) {
    const std::string text = mutate(kSeeds[i % std::size(kSeeds)], random);
    auto parsed = parse_json(text);
    auto fault = find_first_fault(text, kMaxDepth);
    ASSERT_EQ(parsed.has_value(), !fault.has_value())
        << "text: " << text << "\nfast path: " << (parsed ? "ok" : parsed.error().description)
        << "\ntokenizer: " << (fault ? fault->description() : "ok");
    if (parsed) {
      ++accepted;
      // What is accepted is written back as JSON that reads as the same value.
      auto again = parse_json(to_compact_string(*parsed));
      ASSERT_TRUE(again) << text;
      ASSERT_EQ(to_compact_string(*again), to_compact_string(*parsed)) << text;
    }
  }
  EXPECT_GT(accepted, 1000);
}

}  // namespace
}  // namespace orvix::json
