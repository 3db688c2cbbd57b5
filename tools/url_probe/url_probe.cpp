// orvix-url-probe: parses URLs for tests that compare this parser with
// another implementation.
//
// Reads standard input line by line; each line is one JSON string (so inputs
// may hold tabs and newlines). Writes one compact JSON object per line:
// {"href","hostname","ok":true,"port","protocol"} for a parsed URL, with the
// port "" when absent, or {"error","ok":false}. A line that is not a JSON
// string gets {"error":"bad probe line","ok":false}. Exits 0 at end of input.
// Takes no arguments but --help and --version (any other: exit status 2).
#include <iostream>
#include <string>
#include <string_view>

#include "dispatch/status_method.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "json/value.h"
#include "url/url.h"

namespace {

orvix::json::Value probe(const std::string& line) {
  using orvix::json::Object;
  auto input = orvix::json::parse_json(line);
  if (!input || !input->is_string()) return Object{{"ok", false}, {"error", "bad probe line"}};
  auto url = orvix::url::parse_url(input->get_string());
  if (!url) return Object{{"ok", false}, {"error", url.error().text}};
  return Object{
      {"ok", true},
      {"href", url->href()},
      {"protocol", url->scheme + ":"},
      {"hostname", url->host.value_or("")},
      {"port", url->port ? std::to_string(*url->port) : ""},
  };
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view argument = argc >= 2 ? argv[1] : "";
  if (argc == 2 && (argument == "--help" || argument == "-h")) {
    std::cout << "usage: orvix-url-probe < LINES\n"
                 "       orvix-url-probe --help | --version\n"
                 "\n"
                 "Reads one JSON string per line and writes, per line, the URL it parses to as\n"
                 "{\"href\",\"hostname\",\"ok\":true,\"port\",\"protocol\"}, or {\"error\",\"ok\":false}.\n";
    return 0;
  }
  if (argc == 2 && argument == "--version") {
    std::cout << "orvix-url-probe " << orvix::dispatch::kHostVersion << "\n";
    return 0;
  }
  if (argc >= 2) {
    std::cerr << "orvix-url-probe: "
              << (argc == 2 ? "unknown argument: " + std::string(argument) : "too many arguments")
              << "\nTry 'orvix-url-probe --help'.\n";
    return 2;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    std::cout << orvix::json::to_compact_string(probe(line)) << '\n';
  }
  std::cout.flush();
  return 0;
}
