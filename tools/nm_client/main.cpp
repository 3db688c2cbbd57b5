// orvix-nm-client: talk to a native-messaging host from a terminal or a script.
#include <iostream>
#include <string>
#include <vector>

#include "client_run.h"
#include "dispatch/status_method.h"

namespace {

constexpr const char* kUsage =
    "usage: orvix-nm-client [--] HOST-COMMAND [ARGS...]\n"
    "       orvix-nm-client --help | --version\n"
    "\n"
    "Starts HOST-COMMAND with pipes and talks to it in native-messaging frames\n"
    "(4-byte little-endian length, then the bytes).\n"
    "\n"
    "  stdin   one request per line; each non-blank line is sent as one frame,\n"
    "          byte for byte as typed (a trailing CR is dropped). Lines that are\n"
    "          not valid JSON are sent as they stand too, so the host's handling\n"
    "          of bad requests can be tried.\n"
    "  stdout  one line per reply: the reply's bytes exactly as received.\n"
    "  stderr  the host's stderr, and this client's own notes (\"nm-client: ...\").\n"
    "\n"
    "After each request the client waits for exactly one reply. It stops early\n"
    "when the host closes its output or sends a broken frame or a length above\n"
    "1048576 bytes. At the end of stdin it closes the host's stdin and waits.\n"
    "\n"
    "Exit status: the host's (128 + signal if it was killed); 1 when the host\n"
    "exited 0 but its output was at fault; 127 when it could not be started;\n"
    "2 on a usage error.\n";

// A usage error: one line saying what is wrong, one pointing to the help.
int usage_error(const std::string& text) {
  std::cerr << "orvix-nm-client: " << text << "\nTry 'orvix-nm-client --help'.\n";
  return 2;
}

}  // namespace

// The client's own options come before the host command; "--" ends them, so
// that a host command may start with '-'.
int main(int argc, char** argv) {
  const std::string first = argc >= 2 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (first == "--version") {
    std::cout << "orvix-nm-client " << orvix::dispatch::kHostVersion << "\n";
    return 0;
  }
  const int command = first == "--" ? 2 : 1;
  if (command >= argc) return usage_error("no host command given");
  if (first.starts_with("-") && first != "--") return usage_error("unknown option: " + first);
  std::vector<std::string> host_command(argv + command, argv + argc);
  return orvix::nm_client::run_client(host_command, std::cin, std::cout, std::cerr);
}
