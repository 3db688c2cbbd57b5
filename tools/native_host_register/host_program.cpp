#include "host_program.h"

#include "support/program_file.h"
#include "support/program_path.h"

namespace orvix::register_tool {

std::optional<std::string_view> foreign_system(std::string_view start, const Roots& roots) {
  const auto starts = [&](std::string_view magic) { return start.substr(0, magic.size()) == magic; };
  std::optional<std::string_view> built_for;
  if (starts("MZ")) {
    built_for = "Windows";
  } else if (starts("\x7f"
                    "ELF")) {
    built_for = "Linux";
  } else if (starts("\xfe\xed\xfa\xce") || starts("\xfe\xed\xfa\xcf") || starts("\xce\xfa\xed\xfe") ||
             starts("\xcf\xfa\xed\xfe")) {
    // Thin Mach-O only: a universal one starts as a Java class file does.
    built_for = "macOS";
  }
  const std::string_view here = roots.windows ? "Windows" : roots.macos ? "macOS" : "Linux";
  // ELF is the program format of every POSIX system but macOS.
  if (!built_for || *built_for == here || (*built_for == "Linux" && !roots.windows && !roots.macos)) {
    return std::nullopt;
  }
  return built_for;
}

std::optional<ManifestProblem> unstartable_host(const std::string& host, const Roots& roots) {
  if (support::is_directory(host)) return std::nullopt;  // no program at all: its mode check says so
  if (auto mount = support::noexec_mount(host)) {
    return ManifestProblem{ProblemCode::host_on_noexec_mount,
                           "The host " + host + " lies on " + *mount +
                               ", a file system mounted noexec: no program there may be started, whatever its "
                               "mode says."};
  }
  if (auto system = foreign_system(support::file_start(host, kProgramMagicSize), roots)) {
    return ManifestProblem{ProblemCode::host_wrong_system, "The host " + host + " is a " + std::string(*system) +
                                                               " program; this system cannot run it."};
  }
  return std::nullopt;
}

std::string_view administrator_word(const Roots& roots) { return roots.windows ? "administrators" : "root"; }

std::optional<ManifestProblem> replaceable_host(const std::string& host, const Roots& roots,
                                                std::vector<std::string>& paths) {
  paths = support::replaceable_by_users(host);
  if (paths.empty()) return std::nullopt;
  std::string named;
  for (const std::string& path : paths) named += (named.empty() ? "" : ", ") + path;
  return ManifestProblem{ProblemCode::host_replaceable_by_users,
                         "Users other than " + std::string(administrator_word(roots)) + " may change " + named +
                             ", so they can replace the host " + host +
                             " that this system-wide registration makes every user's browser start."};
}

std::string refusal_advice(const ManifestProblem& problem, const Roots& roots) {
  if (problem.code == ProblemCode::host_on_noexec_mount) {
    return " Copy it to a folder on a file system that allows programs (such as ~/" + std::string(kUserHostFolder) +
           ", or " + std::string(kSystemHostFolder) +
           " for every user) and register it from there; nothing was changed.";
  }
  if (problem.code == ProblemCode::host_replaceable_by_users) {
    return roots.windows ? " Copy it to a folder only administrators may change (such as one in " +
                               std::string(kWindowsSystemHostFolder) + "), or let only them change it (icacls)"
                         : " Copy it to a folder only root may change (such as " + std::string(kSystemHostFolder) +
                               "), or let only root change them (chown root, chmod go-w)";
  }
  return " Name the host built for this system with --host; nothing was changed.";
}

}  // namespace orvix::register_tool
