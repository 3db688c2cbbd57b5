// orvix-sample-runtime: a stand-in runtime service for demos and tests.
// Every failure is printed here: exit status 2 for bad arguments (one line,
// and where the help is), 1 when the runtime could not start or withdraw its
// descriptor.
#include <iostream>
#include <string>
#include <vector>

#include "dispatch/status_method.h"
#include "options.h"
#include "run.h"

int main(int argc, char** argv) {
  namespace sample = orvix::sample_runtime;
  auto options = sample::parse_options(std::vector<std::string>(argv + 1, argv + argc));
  if (!options) {
    std::cerr << "orvix-sample-runtime: " << options.error().text << "\nTry 'orvix-sample-runtime --help'.\n";
    return 2;
  }
  if (options->print_version) {
    std::cout << "orvix-sample-runtime " << orvix::dispatch::kHostVersion << "\n";
    return 0;
  }
  if (options->help) {
    std::cout << sample::kUsage;
    return 0;
  }
  if (auto ran = sample::run_sample_runtime(*options); !ran) {
    std::cerr << "sample runtime: " << ran.error().text << "\n";
    return 1;
  }
  return 0;
}
