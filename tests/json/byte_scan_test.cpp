// The sixteen-byte scans and their plain twins (byte_scan.h) must find the
// same byte for every input: a build for a target without the vector code
// runs only the twins, so a difference would change what it reads and writes.

#include <gtest/gtest.h>

#include <string>

#include "json/byte_scan.h"

namespace orvix::json::scan {
namespace {

// Bytes that stop one scan or both, and neighbours that stop none ('!' and
// '#' lie on either side of '"', which one scan finds among the controls).
const char kBytes[] = {'"', '\\', '\0', '\x1f', '\x80', '\xff', ' ', '!', '#', '\x7f', 'a'};

// What a JSON string cannot hold raw, spelled out apart from the table the
// scans look bytes up in.
bool escaped(unsigned char c) { return c == '"' || c == '\\' || c < 0x20; }

// Runs a copying scan into room for the range and a guard past it: it must
// stop at `want`, hold the bytes before it, and leave the guard alone.
template <class Copy>
::testing::AssertionResult copies_up_to(Copy copy, const char* p, const char* end, const char* want) {
  constexpr std::size_t kGuard = 16;
  std::string out(static_cast<std::size_t>(end - p) + kGuard, '#');
  const char* const stop = copy(out.data());
  if (stop != want) return ::testing::AssertionFailure() << "stopped at " << (stop - p);
  if (out.substr(0, want - p) != std::string(p, want)) return ::testing::AssertionFailure() << "copied " << out;
  if (out.substr(end - p) != std::string(kGuard, '#')) return ::testing::AssertionFailure() << "wrote past its room";
  return ::testing::AssertionSuccess();
}

// Every length past two blocks of sixteen and a tail, every place of each
// byte, another byte right after it (a borrow between lanes), and every
// distance the scans may read back: both paths find the first byte that
// stops the scan, and the copies hold exactly the bytes before it
// without writing past their room. The bytes before the range all stop both
// scans, so a scan that judged what it reads back would stop early.
TEST(ByteScan, SixteenByteScansAndThePlainOnesFindTheSameByte) {
  constexpr std::size_t kLead = 20;
  for (std::size_t length = 0; length <= 50; ++length) {
    for (std::size_t at = 0; at <= length; ++at) {
      for (const char byte : kBytes) {
        for (const char after : {'b', '\x01', '\xc3'}) {
          std::string text = std::string(kLead, '"') + std::string(length, 'b');
          if (at < length) text[kLead + at] = byte;
          if (at + 1 < length) text[kLead + at + 1] = after;
          const char* const p = text.data() + kLead;
          const char* const end = p + length;
          const char* escape = p;
          while (escape != end && !escaped(static_cast<unsigned char>(*escape))) ++escape;
          const char* special = p;
          while (special != end && !escaped(static_cast<unsigned char>(*special)) &&
                 static_cast<unsigned char>(*special) < 0x80)
            ++special;
          const std::string where = std::to_string(int(static_cast<unsigned char>(byte))) + " at " +
                                    std::to_string(at) + " of " + std::to_string(length) + ", then " +
                                    std::to_string(int(static_cast<unsigned char>(after)));
          ASSERT_EQ(scalar::find_escape_or_non_ascii(p, end), special) << where;
          ASSERT_TRUE(copies_up_to([&](char* out) { return scalar::copy_until<true>(p, end, out); }, p, end, special))
              << where;
          ASSERT_TRUE(copies_up_to([&](char* out) { return scalar::copy_until<false>(p, end, out); }, p, end, escape))
              << where;
          for (const std::size_t back : {0, 1, 7, 15, 16, 20}) {
            const char* const floor = p - back;
            ASSERT_EQ(find_escape_or_non_ascii(p, end, floor), special) << where << ", floor " << back;
            ASSERT_TRUE(copies_up_to([&](char* out) { return copy_plain_ascii(p, end, out, floor); }, p, end, special))
                << where << ", floor " << back;
            ASSERT_TRUE(copies_up_to([&](char* out) { return copy_unescaped(p, end, out, floor); }, p, end, escape))
                << where << ", floor " << back;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvix::json::scan
