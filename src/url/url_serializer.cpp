#include <string>

#include "url/url.h"

namespace orvix::url {

std::string Url::href() const {
  std::string out = scheme + ":";
  if (host) {
    out += "//";
    if (!username.empty() || !password.empty()) {
      out += username;
      if (!password.empty()) out += ":" + password;
      out += "@";
    }
    out += *host;
    if (port) out += ":" + std::to_string(*port);
  } else if (path.starts_with("//")) {
    // Without a host, a path whose first segment is empty would read back as
    // an authority; "/." keeps it a path. (Opaque paths never start with '/'.)
    out += "/.";
  }
  out += path;
  if (query) out += "?" + *query;
  if (fragment) out += "#" + *fragment;
  return out;
}

}  // namespace orvix::url
