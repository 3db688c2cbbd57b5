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

}  // namespace orvix::register_tool
