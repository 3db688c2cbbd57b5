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
  if (!row.problems.empty()) return "broken";
  return row.unread ? "ignored" : "ok";
}

const char* status_of(const BrowserVerdict& verdict, const DoctorReport& report) {
  if (!verdict.uses) return "not registered";
  return verdict.problems.empty() && report.rows[*verdict.uses].problems.empty() ? "ok" : "broken";
}

json::Array problems_json(const std::vector<Problem>& problems) {
  json::Array items;
  for (const auto& problem : problems) {
    json::Object item;
    item["code"] = code_name(problem.code);
    item["problem"] = problem.text;
    item["fix"] = problem.fix;
    items.emplace_back(std::move(item));
  }
  return items;
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
  entry["wrapper"] = optional_text(row.wrapper);
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
  json::Array origins;
  for (const auto& id : row.extension_ids) origins.emplace_back(origin_of(id));
  entry["origins"] = std::move(origins);
  entry["unread"] = optional_text(row.unread);
  entry["problems"] = problems_json(row.problems);
  entry["notes"] = json::Array(row.notes.begin(), row.notes.end());
  return entry;
}

json::Object verdict_json(const BrowserVerdict& verdict, const DoctorReport& report) {
  json::Object entry;
  entry["browser"] = verdict.browser->name;
  entry["detected"] = verdict.detected;
  entry["status"] = status_of(verdict, report);
  entry["uses"] = verdict.uses ? json::Value(report.rows[*verdict.uses].target.where()) : json::Value(nullptr);
  entry["scope"] = verdict.uses ? json::Value(scope_name(report.rows[*verdict.uses].target.scope)) : nullptr;
  entry["problems"] = problems_json(verdict.problems);
  entry["notes"] = json::Array(verdict.notes.begin(), verdict.notes.end());
  return entry;
}

void add_problems(const std::vector<Problem>& problems, const std::vector<std::string>& notes, TextTable& details) {
  for (const auto& problem : problems) {
    details.add({"problem:", problem.text});
    details.add({"fix:", problem.fix});
  }
  for (const auto& note : notes) details.add({"note:", note});
}

// The lines under a registration: what the host said, problems and fixes.
void add_details(const Health& row, TextTable& details) {
  if (row.wrapper) details.add({"wrapper:", *row.wrapper});
  if (row.host_path) details.add({"host:", *row.host_path});
  if (row.hello) {
    details.add({"hello:", "host " + row.hello->host_version + ", runtime " + row.hello->runtime});
    if (row.hello->descriptor_path) details.add({"descriptor:", *row.hello->descriptor_path});
    if (row.hello->error) details.add({"runtime error:", *row.hello->error});
  }
  if (!row.extension_ids.empty()) {
    std::vector<std::string> origins;
    for (const auto& id : row.extension_ids) origins.push_back(origin_of(id));
    details.add({"origins:", joined(origins)});
  }
  if (row.unread) details.add({"not read:", *row.unread});
  add_problems(row.problems, row.notes, details);
}

// One line per browser: the registration it reads, then why it cannot start the host.
void print_browsers(const DoctorReport& report, std::ostream& out) {
  for (const auto& verdict : report.browsers) {
    out << "\n" << verdict.browser->name << " ";
    if (verdict.uses) {
      const Health& used = report.rows[*verdict.uses];
      out << "uses the " << scope_name(used.target.scope) << " registration " << used.target.where() << ": "
          << status_of(verdict, report) << "\n";
    } else {
      out << "finds no registration\n";
    }
    TextTable details;
    add_problems(verdict.problems, verdict.notes, details);
    details.print(out, "  ");
  }
}

// "--browser chrome --browser chromium" for the detected browsers.
std::string detected_browsers(const DoctorReport& report) {
  std::string options;
  for (const auto& verdict : report.browsers) {
    if (verdict.detected) options += " --browser " + std::string(verdict.browser->name);
  }
  return options;
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
    json::Array browsers;
    for (const auto& verdict : report.browsers) browsers.emplace_back(verdict_json(verdict, report));
    json::Object document;
    document["healthy"] = report.healthy;
    document["registrations"] = std::move(rows);
    document["browsers"] = std::move(browsers);
    json::Object environment;
    environment["descriptor"] = optional_text(report.descriptor_path);
    environment["log"] = optional_text(report.log_path);
    document["environment"] = std::move(environment);
    if (report.applied) document["applied"] = json::Array(report.applied->begin(), report.applied->end());
    out << json::to_compact_string(document) << "\n";
    return;
  }
  if (report.applied) {
    for (const auto& line : *report.applied) out << line << "\n";
    if (report.applied->empty()) out << "Nothing to fix without a decision of yours.\n";
    out << "\n";
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
        << "fix: " << report.tool << " install --browser NAME --extension-id ID (\"" << report.tool
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
  print_browsers(report, out);
  TextTable environment;
  add_environment(report, environment);
  out << "\nIn this environment (a browser started from it hands it to the host):\n";
  environment.print(out, "  ");
  out << "\n";
  if (!report.any_registered) {
    out << "No registration was found. fix: " << report.tool << " install" << detected_browsers(report)
        << " --extension-id ID\n";
  } else if (report.healthy) {
    out << "Every registration works.\n";
  } else {
    out << "Some registrations have problems; each one's fix is above.\n";
  }
}

}  // namespace orvix::register_tool
