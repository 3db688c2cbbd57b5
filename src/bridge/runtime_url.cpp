#include "bridge/runtime_url.h"

#include "url/url.h"

namespace orvix::bridge {

boost::system::result<RuntimeEndpoint, RuntimeError> check_runtime_url(std::string_view ws_url) {
  auto parsed = url::parse_url(ws_url);
  if (!parsed) return RuntimeError{RuntimeErrorCode::ws_url_invalid, parsed.error().text};
  if (parsed->scheme != "ws") return RuntimeError{RuntimeErrorCode::ws_url_unsupported, parsed->scheme};
  if (!parsed->host || parsed->host->empty()) return RuntimeError{RuntimeErrorCode::ws_url_missing_host, {}};
  if (!parsed->port) return RuntimeError{RuntimeErrorCode::ws_url_missing_port, {}};

  std::string host = *parsed->host;
  // The serialised form of an IPv6 host keeps its brackets, which no resolver
  // accepts; the address inside them is what the connection needs.
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return RuntimeEndpoint{std::move(host), *parsed->port};
}

}  // namespace orvix::bridge
