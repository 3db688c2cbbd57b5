#include "native_host_register/change/location_kind.h"

#include <gtest/gtest.h>

#include "base/path.h"
#include "support/program_path.h"

namespace orvix::register_tool {
namespace {

std::vector<std::string> codes(const std::vector<ManifestProblem>& problems) {
  std::vector<std::string> found;
  for (const auto& problem : problems) found.emplace_back(code_name(problem.code));
  return found;
}

TEST(LocationKind, IsChosenOnceFromTheSystemTheRootsDescribe) {
  Roots roots;
  EXPECT_EQ(&location_kind(roots), &manifest_file_kind());
  roots.macos = true;
  EXPECT_EQ(&location_kind(roots), &manifest_file_kind());
  roots = Roots{};
  roots.windows = true;
  EXPECT_EQ(&location_kind(roots), &registry_key_kind());
}

TEST(LocationKind, ManifestFilesTakeOnlyAnAbsoluteHostAndTheBrowserStartsItDirectly) {
  const LocationKind& files = manifest_file_kind();
  const std::string manifest = join_path("base", "com.orvix.chrome_native_host.json");
  EXPECT_FALSE(files.relative_host_allowed());
  EXPECT_EQ(files.resolve_host(manifest, "bin/host"), std::nullopt);
  const std::string absolute = *support::absolute_path("host");
  EXPECT_EQ(files.resolve_host(manifest, absolute), absolute);
  // No command interpreter stands between the browser and the host.
  std::vector<ManifestProblem> problems;
  std::vector<std::string> notes;
  files.check_started_host("/opt/50%OS%x/host!", problems, notes);
  EXPECT_TRUE(problems.empty());
  EXPECT_TRUE(notes.empty());
}

TEST(LocationKind, RegistryKeysResolveARelativeHostBesideTheManifestAndCheckWhatCmdExeMakesOfIt) {
  const LocationKind& keys = registry_key_kind();
  EXPECT_TRUE(keys.relative_host_allowed());
  // Every browser's key names the one manifest beside the host.
  EXPECT_EQ(keys.manifest_of_host(join_path("app", "host.exe")), join_path("app", "com.orvix.chrome_native_host.json"));
  EXPECT_EQ(manifest_file_kind().manifest_of_host(join_path("app", "host")), std::nullopt);
  EXPECT_EQ(keys.resolve_host(join_path("base", "m.json"), "host.exe"), join_path("base", "host.exe"));

  std::vector<ManifestProblem> problems;
  std::vector<std::string> notes;
  keys.check_started_host("C:\\50%OS%x\\host.exe", problems, notes);
  EXPECT_EQ(codes(problems), std::vector<std::string>{"host_path_percent"});
  EXPECT_TRUE(notes.empty());
  problems.clear();
  keys.check_started_host("C:\\Tools!\\host.exe", problems, notes);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(notes.size(), 1u);

  Plan plan;
  EXPECT_FALSE(keys.check_host("C:\\a%b%\\host.exe", plan));
  EXPECT_TRUE(keys.check_host("C:\\50%\\host!.exe", plan));
  EXPECT_EQ(plan.warnings.size(), 1u);
  EXPECT_TRUE(manifest_file_kind().check_host("/a%b%/host", plan));
}

}  // namespace
}  // namespace orvix::register_tool
