// orvix-sample-runtime: a stand-in runtime service for demos and tests.
#include <iostream>
#include <string>
#include <vector>

#include "options.h"
#include "run.h"

int main(int argc, char** argv) {
  namespace sample = orvix::sample_runtime;
  auto options = sample::parse_options(std::vector<std::string>(argv + 1, argv + argc));
  if (!options) {
    std::cerr << "orvix-sample-runtime: " << options.error() << "\n" << sample::kUsage;
    return 2;
  }
  if (options->help) {
    std::cout << sample::kUsage;
    return 0;
  }
  return sample::run_sample_runtime(*options);
}
