#include <ostream>

#include "json/serialize.h"
#include "json/value.h"
#include "render.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ",") + name;
  return text;
}

json::Array names_array(const std::vector<std::string>& names) {
  json::Array array;
  for (const auto& name : names) array.emplace_back(name);
  return array;
}

}  // namespace

void render_outcome(const Outcome& outcome, bool json, std::ostream& out, std::ostream& errors) {
  if (json) {
    json::Array changes;
    for (const auto& change : outcome.changes) {
      json::Object entry;
      entry["action"] = change.action;
      entry["where"] = change.where;
      entry["browsers"] = names_array(change.browsers);
      entry["scope"] = scope_name(change.scope);
      changes.emplace_back(std::move(entry));
    }
    json::Object document;
    document["changes"] = std::move(changes);
    document["ok"] = !outcome.failure.has_value();
    if (outcome.failure) document["error"] = *outcome.failure;
    out << json::to_compact_string(document) << "\n";
    return;
  }
  TextTable table;
  for (const auto& change : outcome.changes) {
    table.add({change.action, change.where,
               change.browsers.empty() ? std::string() : joined(change.browsers) + " (" + scope_name(change.scope) + ")"});
  }
  table.print(out);
  if (outcome.failure) {
    errors << "orvix-native-host-register: " << *outcome.failure << "\n";
  } else if (outcome.changes.empty()) {
    out << "Nothing to do: no registration found.\n";
  }
}

void render_list(const Roots& roots, bool json, std::ostream& out) {
  json::Array browsers;
  TextTable table;
  table.add({"BROWSER", "NAME", "DETECTED", "USER", "SYSTEM"});
  for (const BrowserRow& row : known_browsers()) {
    const bool detected = is_detected(roots, row);
    auto user = target_for(roots, row, Scope::user);
    auto system = target_for(roots, row, Scope::system);
    table.add({std::string(row.name), std::string(row.display_name), detected ? "yes" : "no",
               user ? user->where() : "-", system ? system->where() : "-"});
    json::Object entry;
    entry["browser"] = row.name;
    entry["name"] = row.display_name;
    entry["detected"] = detected;
    entry["user"] = user ? json::Value(user->where()) : json::Value(nullptr);
    entry["system"] = system ? json::Value(system->where()) : json::Value(nullptr);
    browsers.emplace_back(std::move(entry));
  }
  if (json) {
    json::Object document;
    document["browsers"] = std::move(browsers);
    out << json::to_compact_string(document) << "\n";
    return;
  }
  table.print(out);
}

}  // namespace orvix::register_tool
