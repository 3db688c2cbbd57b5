#include "native_host_register/host_manifest.h"

#include <gtest/gtest.h>

#include "json/serialize.h"
#include "native_host_register/host_program.h"
#include "support/program_path.h"

namespace orvix::register_tool {
namespace {

const std::string kId = "abcdefghijklmnopabcdefghijklmnop";

// An absolute host path on this system ("/..." or "C:\..."), as JSON text.
std::string absolute_host_json() { return json::to_compact_string(json::Value(*support::absolute_path("h"))); }

std::vector<std::string> codes(const ManifestCheck& check) {
  std::vector<std::string> found;
  for (const auto& problem : check.problems) found.emplace_back(code_name(problem.code));
  return found;
}

TEST(ExtensionId, IsThirtyTwoLettersFromAToP) {
  EXPECT_TRUE(is_extension_id(kId));
  EXPECT_TRUE(is_extension_id(std::string(32, 'p')));
  EXPECT_FALSE(is_extension_id(std::string(32, 'q')));
  EXPECT_FALSE(is_extension_id(std::string(32, 'A')));
  EXPECT_FALSE(is_extension_id(std::string(31, 'a')));
  EXPECT_FALSE(is_extension_id(std::string(33, 'a')));
  EXPECT_FALSE(is_extension_id(""));
  EXPECT_FALSE(is_extension_id(kId.substr(0, 31) + "0"));
  // install and print admit each id once, and refuse the first that is none.
  const std::string other(32, 'p');
  EXPECT_EQ(*extension_ids({kId, other, kId}), (std::vector<std::string>{kId, other}));
  EXPECT_EQ(extension_ids({kId, "x", "y"}).error().text,
            "Extension id \"x\" is not 32 letters from a to p (chrome://extensions shows the id).");
}

TEST(ManifestText, IsCompactSortedAndPassesItsOwnCheck) {
  const std::string text = manifest_text("/opt/orvix/host", {kId});
  EXPECT_EQ(text, R"({"allowed_origins":["chrome-extension://)" + kId +
                      R"(/"],"description":"Orvix Chrome native host","name":"com.orvix.chrome_native_host",)"
                      R"("path":"/opt/orvix/host","type":"stdio"})"
                      "\n");
  ManifestCheck check = check_manifest(manifest_text(*support::absolute_path("h"), {kId}), false);
  EXPECT_EQ(codes(check), std::vector<std::string>{});
  EXPECT_EQ(check.host_path, *support::absolute_path("h"));
  EXPECT_EQ(check.extension_ids, std::vector<std::string>{kId});
}

TEST(ManifestCheck, NamesEachFaultOfTheContent) {
  const std::string origin = "\"chrome-extension://" + kId + "/\"";
  const std::string rest = R"("name":"com.orvix.chrome_native_host","type":"stdio")";
  const std::string host = R"("path":)" + absolute_host_json();
  struct Case {
    std::string text;
    std::vector<std::string> expected;
  } cases[] = {
      {"", {"manifest_invalid"}},
      {"[]", {"manifest_invalid"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":[)" + origin + "]}", {}},
      {R"({"type":"stdio",)" + host + R"(,"allowed_origins":[)" + origin + "]}", {"name_mismatch"}},
      {R"({"name":"com.orvix.chrome_native_host",)" + host + R"(,"allowed_origins":[)" + origin + "]}",
       {"type_invalid"}},
      {"{" + rest + R"(,"allowed_origins":[)" + origin + "]}", {"path_missing"}},
      {"{" + rest + R"(,"path":"","allowed_origins":[)" + origin + "]}", {"path_missing"}},
      {"{" + rest + R"(,"path":7,"allowed_origins":[)" + origin + "]}", {"path_missing"}},
      {"{" + rest + R"(,"path":"bin/h","allowed_origins":[)" + origin + "]}", {"path_not_absolute"}},
      {"{" + rest + "," + host + "}", {"origins_invalid"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":[]})", {"origins_invalid"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":")" + kId + "\"}", {"origins_invalid"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":["chrome-extension://)" + kId + "\"]}",
       {"origin_missing_slash"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":["chrome-extension://*/"]})", {"origins_invalid"}},
      {"{" + rest + "," + host + R"(,"allowed_origins":[)" + origin + ",1]}", {"origins_invalid"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codes(check_manifest(c.text, false)), c.expected) << c.text;
  }
}

TEST(ManifestCheck, AnOriginWithoutItsFinalSlashAdmitsNothingButNamesItsId) {
  const std::string text = R"({"name":"com.orvix.chrome_native_host","type":"stdio","path":)" + absolute_host_json() +
                           R"(,"allowed_origins":["chrome-extension://)" + kId + "\"]}";
  const ManifestCheck check = check_manifest(text, false);
  EXPECT_EQ(check.extension_ids, std::vector<std::string>{});
  EXPECT_EQ(check.unslashed_ids, std::vector<std::string>{kId});
}

TEST(ManifestCheck, ARelativeHostPathIsWhatWindowsBrowsersResolve) {
  const std::string text = manifest_text("orvix-chrome-native-host.exe", {kId});
  EXPECT_EQ(codes(check_manifest(text, true)), std::vector<std::string>{});
  EXPECT_EQ(codes(check_manifest(text, false)), std::vector<std::string>{"path_not_absolute"});
}

TEST(HostProgram, AProgramForAnotherSystemIsNamedAndScriptsAreLeftToTheSystem) {
  Roots linux_roots;
  Roots macos_roots;
  macos_roots.macos = true;
  Roots windows_roots;
  windows_roots.windows = true;
  const std::string elf =
      "\x7f"
      "ELF";
  const std::string mach_o = "\xcf\xfa\xed\xfe";
  using Found = std::optional<std::string_view>;
  struct Case {
    std::string start;
    Found on_linux, on_macos, on_windows;
  } cases[] = {
      {"MZ\x90\x00", "Windows", "Windows", std::nullopt},
      {elf, std::nullopt, "Linux", "Linux"},
      {mach_o, "macOS", std::nullopt, "macOS"},
      {"\xfe\xed\xfa\xce", "macOS", std::nullopt, "macOS"},
      // A script, a universal binary (which starts like a Java class) and
      // what is too short to tell: the system decides when it starts them.
      {"#!/b", std::nullopt, std::nullopt, std::nullopt},
      {"\xca\xfe\xba\xbe", std::nullopt, std::nullopt, std::nullopt},
      {"M", std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(foreign_system(c.start, linux_roots), c.on_linux) << c.start;
    EXPECT_EQ(foreign_system(c.start, macos_roots), c.on_macos) << c.start;
    EXPECT_EQ(foreign_system(c.start, windows_roots), c.on_windows) << c.start;
  }
}

}  // namespace
}  // namespace orvix::register_tool
