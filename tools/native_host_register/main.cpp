// orvix-native-host-register: registers the native host with the browsers.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  return orvix::register_tool::run_register(argc > 0 ? argv[0] : "", std::vector<std::string>(argv + 1, argv + argc),
                                            std::cout, std::cerr);
}
