#include "native_host_register/command_line.h"

#include <gtest/gtest.h>

namespace orvix::register_tool {
namespace {

constexpr const char* kIdA = "abcdefghijklmnopabcdefghijklmnop";
constexpr const char* kIdB = "ponmlkjihgfedcbaponmlkjihgfedcba";

TEST(CommandLine, TakesValuesAsTheNextWordOrAfterAnEqualsSign) {
  auto line =
      parse_command_line({"install", "--extension-id", kIdA, std::string("--extension-id=") + kIdB, "--browser=chrome",
                          "--browser", "all", "--host", "/x", "--system", "--force", "--dry-run", "--json"});
  ASSERT_TRUE(line) << line.error().text;
  EXPECT_EQ(line->command->name, "install");
  EXPECT_EQ(line->extension_ids, (std::vector<std::string>{kIdA, kIdB}));
  EXPECT_EQ(line->browsers, (std::vector<std::string>{"chrome", "all"}));
  EXPECT_EQ(line->host, "/x");
  EXPECT_TRUE(line->system && line->force && line->dry_run && line->json);
}

TEST(CommandLine, ACommandThatTakesIdsAndIsGivenNoneTakesThoseBuiltIn) {
  const std::vector<std::string> built_in{kIdA};
  for (const char* command : {"install", "print", "doctor"}) {
    auto line = parse_command_line({command}, built_in);
    ASSERT_TRUE(line) << line.error().text;
    EXPECT_EQ(line->extension_ids, built_in) << command;
    EXPECT_TRUE(line->ids_built_in) << command;
  }
  auto given = parse_command_line({"install", "--extension-id", kIdB}, built_in);
  ASSERT_TRUE(given) << given.error().text;
  EXPECT_EQ(given->extension_ids, std::vector<std::string>{kIdB});
  EXPECT_FALSE(given->ids_built_in);
  EXPECT_TRUE(parse_command_line({"uninstall"}, built_in)->extension_ids.empty());
  EXPECT_EQ(parse_command_line({"install"}).error().text, "install needs at least one --extension-id");
  EXPECT_NE(parse_command_line({"doctor"}, {"not-an-id"}).error().text.find("\"not-an-id\" is not"), std::string::npos);
}

TEST(CommandLine, EachCommandTakesOnlyItsOwnOptions) {
  EXPECT_EQ(parse_command_line({"list", "--system"}).error().text, "list does not take --system");
  EXPECT_EQ(parse_command_line({"doctor", "--force"}).error().text, "doctor does not take --force");
  EXPECT_EQ(parse_command_line({"uninstall", "--extension-id", "a"}).error().text,
            "uninstall does not take --extension-id");
  EXPECT_EQ(parse_command_line({"print", "--json", "--extension-id", "a"}).error().text, "print does not take --json");
  EXPECT_TRUE(parse_command_line({"doctor", "--browser", "chromium", "--json"}));
  EXPECT_TRUE(parse_command_line({"uninstall", "--system", "--dry-run"}));
}

TEST(CommandLine, RefusesMissingValuesAndCommands) {
  EXPECT_EQ(parse_command_line({}).error().text, "no command given");
  EXPECT_EQ(parse_command_line({"register"}).error().text, "unknown command: register");
  EXPECT_EQ(parse_command_line({"install", "--host"}).error().text, "--host needs a value");
  EXPECT_EQ(parse_command_line({"install", "--extension-id="}).error().text, "--extension-id needs a value");
  EXPECT_EQ(parse_command_line({"install", "--force=yes", "--extension-id", "a"}).error().text,
            "--force takes no value");
  EXPECT_EQ(parse_command_line({"print"}).error().text, "print needs at least one --extension-id");
  // A value that is itself an option is a forgotten value; '=' gives a value that starts with "-".
  EXPECT_EQ(parse_command_line({"install", "--host", "--force", "--extension-id", kIdA}).error().text,
            "--host needs a value, not the option --force");
  EXPECT_EQ(parse_command_line({"doctor", "--browser", "-h"}).error().text,
            "--browser needs a value, not the option -h");
  EXPECT_EQ(parse_command_line({"install", "--host=-x", "--extension-id", kIdA})->host, "-x");
  // One user's browser folder has no system-wide registration.
  EXPECT_EQ(parse_command_line({"uninstall", "--system", "--user-data-dir", "/d"}).error().text,
            "--user-data-dir is one user's folder; it does not go with --system");
  EXPECT_EQ(parse_command_line({"list", "--user-data-dir", "/d"}).error().text, "list does not take --user-data-dir");
  EXPECT_EQ(parse_command_line({"doctor", "--user-data-dir=/d"})->user_data_dir, "/d");
}

TEST(CommandLine, EveryHelpLineFitsOneHundredColumns) {
  std::vector<const Command*> commands{nullptr};
  for (const char* name : {"install", "uninstall", "print", "list", "doctor", "help", "version"}) {
    commands.push_back(parse_command_line({"help", name})->help_for);
    ASSERT_NE(commands.back(), nullptr) << name;
  }
  for (const Command* command : commands) {
    const std::string text = usage(command);
    for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
      end = std::min(text.find('\n', start), text.size());
      EXPECT_LE(end - start, 100u) << text.substr(start, end - start);
    }
  }
}

TEST(CommandLine, HelpAnywhereAsksForTheUsage) {
  EXPECT_EQ(parse_command_line({"--help"})->command->name, "help");
  EXPECT_EQ(parse_command_line({"install", "-h"})->command->name, "help");
  EXPECT_EQ(parse_command_line({"install", "-h"})->help_for->name, "install");
  EXPECT_EQ(parse_command_line({"help", "list"})->help_for->name, "list");
  EXPECT_EQ(parse_command_line({"help"})->help_for, nullptr);
  EXPECT_EQ(parse_command_line({"help", "nothing"}).error().text, "unknown command: nothing");
}

// Values that are wrong on any machine are refused with the command line's
// other mistakes, before any command looks at the machine.
TEST(CommandLine, RefusesMalformedIdsAndUnknownBrowsers) {
  EXPECT_EQ(parse_command_line({"doctor", "--extension-id", "ABC"}).error().text,
            "Extension id \"ABC\" is not 32 letters from a to p (chrome://extensions shows the id).");
  EXPECT_TRUE(parse_command_line({"uninstall", "--browser", "netscape"})
                  .error()
                  .text.starts_with("Unknown browser \"netscape\"; known browsers: chrome, "));
}

}  // namespace
}  // namespace orvix::register_tool
