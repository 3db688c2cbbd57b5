#include "support/frame_link.h"

#include <array>
#include <limits>

#include "host/native_frame.h"

namespace orvix::client {

namespace {

std::string truncated(const char* part, std::size_t got, std::size_t expected) {
  return std::string("host closed its output inside a frame (got ") + std::to_string(got) + " of " +
         std::to_string(expected) + " " + part + " bytes)";
}

}  // namespace

Result<void> send_frame(support::ChildProcess& host, std::string_view body) {
  if (body.size() > std::numeric_limits<std::uint32_t>::max()) {
    return Failure(Failure::Kind::kInvalidInput,
                   "request of " + std::to_string(body.size()) + " bytes is too long for a frame");
  }
  // One write for prefix and body, so the host never sees a lone prefix.
  unsigned char prefix[host::kLengthSize];
  host::encode_length(static_cast<std::uint32_t>(body.size()), prefix);
  std::string frame(reinterpret_cast<const char*>(prefix), host::kLengthSize);
  frame.append(body);
  return host.write_all(frame);
}

Result<Reply> receive_frame(support::ChildProcess& host, support::ReadTimeout timeout) {
  std::array<char, host::kLengthSize> prefix{};
  auto got = host.read_exact(prefix, timeout);
  if (!got) return got.error();
  if (*got == 0) return Reply{HostClosed{}};
  if (*got < prefix.size()) {
    return Reply{BrokenFrame{truncated("length", *got, prefix.size()), std::string(prefix.data(), *got)}};
  }

  const std::uint32_t length = host::decode_length(reinterpret_cast<const unsigned char*>(prefix.data()));
  if (length > host::kMaxBodySize) {
    return Reply{BrokenFrame{"host sent a frame length of " + std::to_string(length) + " bytes, above the limit of " +
                                 std::to_string(host::kMaxBodySize),
                             std::string(prefix.data(), prefix.size())}};
  }
  std::string body(length, '\0');
  got = host.read_exact(body, timeout);
  if (!got) return got.error();
  if (*got < length) {
    return Reply{
        BrokenFrame{truncated("body", *got, length), std::string(prefix.data(), prefix.size()) + body.substr(0, *got)}};
  }
  return Reply{std::move(body)};
}

}  // namespace orvix::client
