#include <ostream>

#include "doctor.h"
#include "host_manifest.h"
#include "json/serialize.h"
#include "json/value.h"
#include "support/program_path.h"
#include "text_table.h"

namespace orvix::register_tool {

namespace {

const char* status_of(const Health& row) {
  if (!row.registered) return "not registered";
  return row.problems.empty() ? "ok" : "broken";
}

json::Value optional_text(const std::optional<std::string>& text) {
  return text ? json::Value(*text) : json::Value(nullptr);
}

json::Object row_json(const Health& row) {
  json::Object entry;
  entry["browser"] = row.target.browser->name;
  entry["scope"] = scope_name(row.target.scope);
  entry["where"] = row.target.where();
  entry["detected"] = row.detected;
  entry["registered"] = row.registered;
  entry["status"] = status_of(row);
  entry["manifest"] = optional_text(row.manifest_path);
  entry["host"] = optional_text(row.host_path);
  if (row.hello) {
    json::Object hello;
    hello["nativeHostVersion"] = row.hello->host_version;
    hello["runtime"] = row.hello->runtime;
    hello["descriptorPath"] = optional_text(row.hello->descriptor_path);
    hello["error"] = optional_text(row.hello->error);
    entry["hello"] = std::move(hello);
  } else {
    entry["hello"] = nullptr;
  }
  json::Array problems;
  for (const auto& problem : row.problems) {
    json::Object item;
    item["code"] = problem.code;
    item["problem"] = problem.text;
    item["fix"] = problem.fix;
    problems.emplace_back(std::move(item));
  }
  entry["problems"] = std::move(problems);
  entry["notes"] = json::Array(row.notes.begin(), row.notes.end());
  return entry;
}

// The lines under a registration: what the host said, problems and fixes.
void add_details(const Health& row, TextTable& details) {
  if (row.host_path) details.add({"host:", *row.host_path});
  if (row.hello) {
    details.add({"hello:", "host " + row.hello->host_version + ", runtime " + row.hello->runtime});
    if (row.hello->descriptor_path) details.add({"descriptor:", *row.hello->descriptor_path});
    if (row.hello->error) details.add({"runtime error:", *row.hello->error});
  }
  for (const auto& problem : row.problems) {
    details.add({"problem:", problem.text});
    details.add({"fix:", problem.fix});
  }
  for (const auto& note : row.notes) details.add({"note:", note});
}

// Where the host finds the runtime and logs, or why it does not.
void add_environment(const DoctorReport& report, TextTable& lines) {
  auto where = [](const std::string& path) {
    return platform::is_absolute_path(path) ? path : path + " (below the host's folder, where the browser starts it)";
  };
  lines.add({"descriptor:", report.descriptor_path ? where(*report.descriptor_path)
                                                   : "none: neither ORVIX_HOME, HOME nor USERPROFILE is set, so the "
                                                     "host cannot find the runtime"});
  lines.add({"log:", report.log_path ? where(*report.log_path)
                                     : "none: neither ORVIX_HOME nor HOME is set (Windows sets no HOME), so the host "
                                       "keeps no log; set ORVIX_HOME to turn it on (see the README)"});
}

}  // namespace

void render_doctor(const DoctorReport& report, bool json, std::ostream& out) {
  if (json) {
    json::Array rows;
    for (const auto& row : report.rows) rows.emplace_back(row_json(row));
    json::Object document;
    document["healthy"] = report.healthy;
    document["registrations"] = std::move(rows);
    json::Object environment;
    environment["descriptor"] = optional_text(report.descriptor_path);
    environment["log"] = optional_text(report.log_path);
    document["environment"] = std::move(environment);
    out << json::to_compact_string(document) << "\n";
    return;
  }
  // Browsers that share a registration (the Chrome channels on Windows and
  // in /etc/opt/chrome) are one line and one set of details. Undetected
  // browsers without a registration are noise here; list shows them.
  std::vector<const Health*> shown;
  std::vector<Target> targets;
  for (const auto& row : report.rows) {
    if (!row.registered && !row.detected) continue;
    shown.push_back(&row);
    targets.push_back(row.target);
  }
  if (shown.empty()) {
    out << "No browser was detected and no registration was found.\n"
        << "fix: " << kProgramName << " install --browser NAME --extension-id ID (\"" << kProgramName
        << " list\" names the browsers)\n";
    return;
  }
  TextTable summary;
  summary.add({"BROWSER", "SCOPE", "STATUS", "WHERE"});
  const std::vector<Location> groups = by_location(targets);
  for (const Location& group : groups) {
    summary.add(
        {joined(group.browsers), scope_name(group.target.scope), status_of(*shown[group.first]), group.target.where()});
  }
  summary.print(out);
  for (const Location& group : groups) {
    if (!shown[group.first]->registered) continue;
    TextTable details;
    add_details(*shown[group.first], details);
    out << "\n" << joined(group.browsers) << " (" << scope_name(group.target.scope) << "):\n";
    details.print(out, "  ");
  }
  TextTable environment;
  add_environment(report, environment);
  out << "\nIn this environment (a browser started from it hands it to the host):\n";
  environment.print(out, "  ");
  out << "\n";
  if (!report.any_registered) {
    out << "No registration was found. fix: " << kProgramName << " install --extension-id ID\n";
  } else if (report.healthy) {
    out << "Every registration works.\n";
  } else {
    out << "Some registrations have problems; each one's fix is above.\n";
  }
}

}  // namespace orvix::register_tool
