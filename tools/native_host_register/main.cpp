// orvix-native-host-register: registers the native host with the browsers.
// ORVIX_BUILT_IN_EXTENSION_IDS, set by the build ("id,id" or ""), names the
// product's extensions: install admits them and doctor checks them when no
// --extension-id is given.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  return orvix::register_tool::run_register(argc > 0 ? argv[0] : "", std::vector<std::string>(argv + 1, argv + argc),
                                            std::cout, std::cerr, ORVIX_BUILT_IN_EXTENSION_IDS);
}
