// The WebSocket handshake's Host header and target against the WHATWG URL
// checks that pick the address to connect to.
//
// Properties, for every URL text that passes the runtime URL checks and whose
// handshake target can be built: the Host header is the authority's host as
// written - found here by a naive split of the text (the authority between
// "://" and the next "/", "?" or "#"; the host after its last "@", up to the
// "]" of an IP literal or else to the last ":") - followed by ":" and a port
// whose number is the WHATWG port the connection uses; and neither the Host
// header nor the target holds a byte that could break the request line.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/handshake_target.h"
#include "bridge/runtime_exchange.h"
#include "fuzz_check.h"

using orvix::fuzz::require;

namespace {

struct NaiveAuthority {
  std::string_view host;
  std::string_view port;  // the digits after the host's ":"
};

NaiveAuthority naive_split(std::string_view url) {
  const std::size_t start = url.find("://") + 3;
  const std::size_t end = url.find_first_of("/?#", start);
  std::string_view authority = url.substr(start, end == std::string_view::npos ? url.size() - start : end - start);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  const std::size_t host_end = authority.front() == '[' ? authority.find(']') + 1 : authority.rfind(':');
  const std::string_view host = authority.substr(0, host_end);
  std::string_view port = authority.substr(host.size());
  if (port.starts_with(':')) port.remove_prefix(1);
  return {host, port};
}

bool printable_without_space(std::string_view text) {
  for (const char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(data), size);
  const auto endpoint = orvix::bridge::check_runtime_url(url);
  if (!endpoint) return 0;
  const auto target = orvix::bridge::handshake_target_from_url(url);
  if (!target) return 0;

  // The checks passed, so the text has "://" and a port.
  const NaiveAuthority naive = naive_split(url);
  const std::string expected_header = std::string(naive.host) + ":" + std::string(naive.port);
  require(target->host_header == expected_header, "the Host header is the authority's host and port as written",
          target->host_header, expected_header);
  require(!naive.port.empty(), "the Host header has a port", target->host_header);
  std::uint32_t port = 0;  // held below 2^20, since leading zeros may make the digits any number long
  for (const char digit : naive.port) port = std::min<std::uint32_t>(port * 10 + (digit - '0'), 1u << 20);
  require(port == endpoint->port, "the Host header's port is the port connected to", naive.port,
          std::to_string(endpoint->port));
  require(printable_without_space(target->host_header), "the Host header is printable ASCII", target->host_header);
  require(printable_without_space(target->target) && target->target.front() == '/',
          "the target is printable ASCII beginning with /", target->target);
  return 0;
}
