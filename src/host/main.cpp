// The browser starts the host with arguments (the caller's origin first, on
// Windows also a window handle); the host reads none of them. The one
// exception is a lone --version, which no browser's launch can be since the
// origin always comes first: it prints the version and the host does not run.
// (stdio, not iostream: the host links no iostream initialiser.)
#include <cstdio>
#include <cstring>

#include "dispatch/status_method.h"
#include "host/host_main.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("orvix-chrome-native-host %s\n", orvix::dispatch::kHostVersion);
    return 0;
  }
  return orvix::host::run_host();
}
