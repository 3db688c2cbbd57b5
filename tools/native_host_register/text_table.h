// Text for people: columns aligned, each as wide as its widest cell, two
// spaces between columns, the last column not padded; and lists of names.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orvix::register_tool {

class TextTable {
 public:
  void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  void print(std::ostream& out, const std::string& indent = "") const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

// "a,b,c".
std::string joined(const std::vector<std::string>& names);

}  // namespace orvix::register_tool
