// orvix-native-host-register: registers the native host with the browsers.
#include <iostream>
#include <string>
#include <vector>

#include "register_run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return orvix::register_tool::run_register(argc > 0 ? argv[0] : "", args, std::cout, std::cerr);
}
