#include "browser_selection.h"

#include <algorithm>

namespace orvix::register_tool {

namespace {

std::string known_names() {
  std::string names;
  for (const auto& row : known_browsers()) names += (names.empty() ? "" : ", ") + std::string(row.name);
  return names;
}

void add_once(std::vector<const BrowserRow*>& rows, const BrowserRow* row) {
  if (std::find(rows.begin(), rows.end(), row) == rows.end()) rows.push_back(row);
}

}  // namespace

Checked<std::vector<const BrowserRow*>> select_browsers(
    const Roots& roots, const std::vector<std::string>& names, WhenNoneNamed none_named) {
  std::vector<const BrowserRow*> rows;
  bool wanted_detected = names.empty() && none_named == WhenNoneNamed::detected;
  if (names.empty() && none_named == WhenNoneNamed::every_known) {
    for (const auto& row : known_browsers()) rows.push_back(&row);
  }
  for (const auto& name : names) {
    if (name == "all") {
      wanted_detected = true;
      continue;
    }
    const BrowserRow* row = find_browser(name);
    if (row == nullptr) return Refusal{"Unknown browser \"" + name + "\"; known browsers: " + known_names() + "."};
    add_once(rows, row);
  }
  if (wanted_detected) {
    for (const BrowserRow* row : detected_browsers(roots)) add_once(rows, row);
  }
  if (rows.empty()) {
    return Refusal{"No supported browser was detected for this user; name one with --browser "
                   "(\"orvix-native-host-register list\" shows them all)."};
  }
  return rows;
}

}  // namespace orvix::register_tool
