#include <ostream>

#include "doctor.h"
#include "fix_lines.h"
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

json::Value optional_text(const std::optional<std::string>& text) {
  return text ? json::Value(*text) : json::Value(nullptr);
}

// One field of a report's entry, for both renderings: the member `key` of
// its JSON object (none: the text's alone), and the line `label` of its text
// details when it has `text` (none: the JSON's alone, or the text shows it in
// a line of its own).
struct Field {
  std::string_view key;
  json::Value json = nullptr;
  std::string_view label = {};
  std::optional<std::string> text = std::nullopt;
};

using Fields = std::vector<Field>;

// The problems with their fixes, then the notes.
void add_problems(const std::vector<Problem>& problems, const std::vector<std::string>& notes, Fields& fields) {
  json::Array items;
  for (const auto& problem : problems) {
    json::Object item;
    item["code"] = code_name(problem.code);
    item["problem"] = problem.text;
    item["fix"] = problem.fix;
    items.emplace_back(std::move(item));
  }
  fields.push_back({"problems", std::move(items)});
  for (const auto& problem : problems) {
    fields.push_back({"", nullptr, "problem:", problem.text});
    fields.push_back({"", nullptr, "fix:", problem.fix});
  }
  fields.push_back({"notes", json::Array(notes.begin(), notes.end())});
  for (const auto& note : notes) fields.push_back({"", nullptr, "note:", note});
}

// A registration: its place and state, what the host said, problems and fixes.
Fields registration_fields(const Health& row) {
  Fields fields;
  fields.push_back(Field{"browser", json::Value(row.target.browser->name)});
  fields.push_back(Field{"scope", scope_name(row.target.scope)});
  fields.push_back(Field{"where", json::Value(row.target.where())});
  fields.push_back(Field{"detected", row.detected});
  fields.push_back(Field{"registered", row.registered});
  fields.push_back(Field{"status", status_of(row)});
  fields.push_back(Field{"manifest", optional_text(row.manifest_path)});
  fields.push_back(Field{"wrapper", optional_text(row.wrapper), "wrapper:", row.wrapper});
  fields.push_back(Field{"host", optional_text(row.host_path), "host:", row.host_path});
  if (row.hello) {
    json::Object hello;
    hello["nativeHostVersion"] = row.hello->host_version;
    hello["runtime"] = row.hello->runtime;
    hello["descriptorPath"] = optional_text(row.hello->descriptor_path);
    hello["error"] = optional_text(row.hello->error);
    fields.push_back(
        {"hello", std::move(hello), "hello:", "host " + row.hello->host_version + ", runtime " + row.hello->runtime});
    fields.push_back({"", nullptr, "descriptor:", row.hello->descriptor_path});
    fields.push_back({"", nullptr, "runtime error:", row.hello->error});
  } else {
    fields.push_back({"hello", nullptr});
  }
  std::vector<std::string> origins;
  for (const auto& id : row.extension_ids) origins.push_back(origin_of(id));
  fields.push_back({"origins", json::Array(origins.begin(), origins.end()),
                    "origins:", origins.empty() ? std::nullopt : std::optional<std::string>(joined(origins))});
  fields.push_back({"unread", optional_text(row.unread), "not read:", row.unread});
  add_problems(row.problems, row.notes, fields);
  return fields;
}

// A browser as it looks for the host.
Fields verdict_fields(const BrowserVerdict& verdict, const DoctorReport& report) {
  const Health* used = verdict.uses ? &report.rows[*verdict.uses] : nullptr;
  Fields fields;
  fields.push_back(Field{"browser", json::Value(verdict.browser->name)});
  fields.push_back(Field{"detected", verdict.detected});
  fields.push_back(Field{"status", status_of(verdict, report)});
  fields.push_back(Field{"uses", used ? json::Value(used->target.where()) : json::Value(nullptr)});
  fields.push_back(Field{"scope", used ? json::Value(scope_name(used->target.scope)) : json::Value(nullptr)});
  add_problems(verdict.problems, verdict.notes, fields);
  return fields;
}

json::Object as_json(Fields fields) {
  json::Object entry;
  for (auto& field : fields) {
    if (!field.key.empty()) entry[field.key] = std::move(field.json);
  }
  return entry;
}

void add_lines(const Fields& fields, TextTable& details) {
  for (const auto& field : fields) {
    if (!field.label.empty() && field.text) details.add({std::string(field.label), *field.text});
  }
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
    add_lines(verdict_fields(verdict, report), details);
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
    return support::is_absolute_path(path) ? path : path + " (below the host's folder, where the browser starts it)";
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
    for (const auto& row : report.rows) rows.emplace_back(as_json(registration_fields(row)));
    json::Array browsers;
    for (const auto& verdict : report.browsers) browsers.emplace_back(as_json(verdict_fields(verdict, report)));
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
        << "fix: " << report.tool << " install --browser NAME" << extension_id_words(report.known_ids) << " (\""
        << report.tool << " list\" names the browsers)\n";
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
    add_lines(registration_fields(*shown[group.first]), details);
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
        << report.folder_option << extension_id_words(report.known_ids) << "\n";
  } else if (report.healthy) {
    out << "Every registration works.\n";
  } else {
    out << "Some registrations have problems; each one's fix is above.\n";
  }
}

}  // namespace orvix::register_tool
