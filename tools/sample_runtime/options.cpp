#include "options.h"

#include <charconv>

namespace orvix::sample_runtime {

const char* const kUsage =
    "usage: orvix-sample-runtime [--port N] [--version TEXT]\n"
    "       orvix-sample-runtime --help | --version\n"
    "\n"
    "A stand-in runtime for demos and tests. Listens for WebSocket clients on\n"
    "ws://127.0.0.1:N/ (a free port unless --port) and publishes the connection\n"
    "descriptor under the product home (ORVIX_HOME, else HOME/.orvix, else\n"
    "USERPROFILE/.orvix) at data/runtime/chrome/connection.json. When ready it\n"
    "prints one line: sample runtime listening on ws://127.0.0.1:N/ (descriptor PATH)\n"
    "SIGINT or SIGTERM removes the descriptor and exits 0.\n"
    "\n"
    "Answers each text message holding a JSON object with a string \"requestId\":\n"
    "  {\"type\":\"runtime.get\"}  ->  {\"type\":\"runtime.status\",\n"
    "                               \"payload\":{\"build\":{\"version\":TEXT}}}\n"
    "  anything else           ->  {\"type\":\"<type>.result\" (or \"runtime.result\"),\n"
    "                               \"payload\":{\"echo\":<the request>}}\n"
    "always with the request's \"requestId\". In the request's \"payload\":\n"
    "  \"wantCommand\":true     adds \"command\":{\"name\":\"noop\"} to the answer's payload\n"
    "  \"sendNoiseFirst\":true  sends a binary message, an object with another\n"
    "                         requestId and a JSON array before the answer\n"
    "\n"
    "  --port N        port to listen on, 0 to 65535 but not 80 (default 0: any free\n"
    "                  port); the host reads ws://127.0.0.1:80/ as a URL without a port\n"
    "  --version TEXT  version text to publish and report (default 0.9.0-sample);\n"
    "                  --version alone prints this program's version\n";

namespace {

constexpr std::uint16_t kWsDefaultPort = 80;

bool parse_port(const std::string& text, std::uint16_t& port) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

Result<Options> parse_options(const std::vector<std::string>& arguments) {
  auto refused = [](std::string text) { return Failure(Failure::Kind::kInvalidInput, std::move(text)); };
  Options options;
  // A runtime's version text always follows --version, so a lone --version
  // asks for the program's own, as with every program of the project.
  options.print_version = arguments.size() == 1 && arguments[0] == "--version";
  if (options.print_version) return options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    if (argument != "--port" && argument != "--version") return refused("unknown argument: " + argument);
    if (i + 1 == arguments.size()) return refused(argument + " needs a value");
    const std::string& value = arguments[++i];
    if (argument == "--version") {
      options.version = value;
    } else if (!parse_port(value, options.port)) {
      return refused("not a port number (0 to 65535): " + value);
    } else if (options.port == kWsDefaultPort) {
      // The URL parser drops a scheme's default port, so the published URL
      // would name no port and the host would refuse it.
      return refused("port 80 cannot be published: ws://127.0.0.1:80/ names no port for the host");
    }
  }
  return options;
}

}  // namespace orvix::sample_runtime
