// Long strings of a request whose text, between its quotes, is already byte
// for byte what the compact serialiser writes for them: raw UTF-8 and only
// the escapes it writes itself (serialize.h). A reply that echoes such a
// string (a long id) copies that text rather than escaping the value again.
//
// A string is known by where its value keeps its characters and how many:
// the value must not change between the reading and the reply. Only the
// first kCapacity strings of at least kMinSize bytes are noted; for any other
// string the serialiser escapes the value as usual.
#pragma once

#include <array>
#include <cstddef>

namespace orvix::json {

struct VerbatimString {
  const char* value = nullptr;  // the decoded characters, held by the value
  std::size_t size = 0;
  std::size_t text_offset = 0;  // the text between the quotes, from the start of the request
  std::size_t text_size = 0;
};

class VerbatimStrings {
 public:
  static constexpr std::size_t kCapacity = 4;
  // Below this a string is cheap to escape again.
  static constexpr std::size_t kMinSize = 256;

  void clear() { count_ = 0; }
  bool empty() const { return count_ == 0; }
  void note(const VerbatimString& string) {
    if (count_ < kCapacity) strings_[count_++] = string;
  }
  // The noted string whose value holds these characters, or null.
  const VerbatimString* find(const char* value, std::size_t size) const {
    for (std::size_t i = 0; i < count_; ++i) {
      if (strings_[i].value == value && strings_[i].size == size) return &strings_[i];
    }
    return nullptr;
  }

 private:
  std::array<VerbatimString, kCapacity> strings_{};
  std::size_t count_ = 0;
};

}  // namespace orvix::json
