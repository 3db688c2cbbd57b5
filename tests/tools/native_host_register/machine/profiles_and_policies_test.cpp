// The browser's own files as doctor reads them, from small real folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "native_host_register/browsers.h"
#include "native_host_register/machine/lenient_json.h"
#include "native_host_register/machine/policies.h"
#include "native_host_register/machine/profile_extensions.h"
#include "platform/scratch_directory.h"

namespace orvix::register_tool {
namespace {

namespace fs = std::filesystem;

const std::string kOurs = "abcdefghijklmnopabcdefghijklmnop";
const std::string kTheirs = "ponmlkjihgfedcbaponmlkjihgfedcba";

class Folder : public platform::ScratchDirectory {
 protected:
  void write(const std::string& relative, const std::string& text) {
    const fs::path path = directory_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
};

std::string entry(const std::string& id, const std::string& name, const std::string& more = "") {
  return "\"" + id + "\":{\"active_permissions\":{\"api\":[\"nativeMessaging\"]},\"manifest\":{\"name\":\"" + name +
         "\"}" + more + "}";
}

std::string preferences(const std::string& entries) { return "{\"extensions\":{\"settings\":{" + entries + "}}}"; }

using ProfileExtensions = Folder;

TEST_F(ProfileExtensions, EachIdOnceInProfileOrderAndTheFirstFileOfAProfileDecides) {
  // Secure Preferences decides for an id before Preferences does: there it is disabled.
  write("Default/Secure Preferences", preferences(entry(kTheirs, "Theirs", ",\"disable_reasons\":[1]")));
  write("Default/Preferences", preferences(entry(kTheirs, "Theirs") + "," + entry(kOurs, "__MSG_name__")));
  write("Profile 2/Preferences", preferences(entry(kOurs, "Ours") + "," + entry(kTheirs, "Theirs", ",\"state\":0")));
  write("Profile 3/Preferences", preferences(entry("not-an-id", "x") + "," + entry(kTheirs, "Theirs")));
  write("System Profile/Preferences", preferences(entry(kTheirs, "Elsewhere")));
  write("Profile 4/Preferences", "{not json");

  const auto found = native_messaging_extensions(directory_.string());
  ASSERT_EQ(found.size(), 2u);
  // A placeholder name the browser localizes is no name; a later profile's plain one is.
  EXPECT_EQ(found[0].id, kOurs);
  EXPECT_EQ(found[0].name, "Ours");
  EXPECT_EQ(found[0].profiles, (std::vector<std::string>{"Default", "Profile 2"}));
  EXPECT_EQ(found[1].id, kTheirs);
  EXPECT_EQ(found[1].profiles, std::vector<std::string>{"Profile 3"});
  EXPECT_TRUE(native_messaging_extensions((directory_ / "missing").string()).empty());
}

TEST_F(ProfileExtensions, EveryExtensionThatRunsCountsAndAnyReadProfileMakesTheAnswerKnown) {
  EXPECT_FALSE(read_profiles(directory_.string()).read);
  write("Profile 4/Preferences", "{not json");
  EXPECT_FALSE(read_profiles(directory_.string()).read);  // nothing read: an absent id proves nothing
  write("Default/Preferences", preferences(entry(kOurs, "Ours", ",\"disable_reasons\":0") + ",\"" + kTheirs +
                                           "\":{\"active_permissions\":{\"api\":[\"tabs\"]}}"));
  const Profiles profiles = read_profiles(directory_.string());
  EXPECT_TRUE(profiles.read);
  ASSERT_EQ(profiles.extensions.size(), 2u);
  EXPECT_EQ(profiles.extensions[0].id, kOurs);
  EXPECT_TRUE(profiles.extensions[0].native_messaging);
  EXPECT_EQ(profiles.extensions[1].id, kTheirs);
  EXPECT_FALSE(profiles.extensions[1].native_messaging);
}

using Policies = Folder;

TEST_F(Policies, TheLaterFileWinsAndOnlyMandatoryValuesCount) {
  Roots roots;
  roots.system_prefix = directory_.string();
  const BrowserRow& chromium = *find_browser("chromium");
  const std::string folder = "etc/chromium/policies/";
  const std::string host = "com.orvix.chrome_native_host";

  write(folder + "managed/a.json", R"({"NativeMessagingUserLevelHosts":false,"NativeMessagingBlocklist":["*"]})");
  write(folder + "managed/b.json", R"({"NativeMessagingUserLevelHosts":true})");
  PolicyVerdict verdict = read_policies(roots, chromium, host);
  EXPECT_EQ(verdict.user_level_hosts_off, std::nullopt);  // b.json comes later and wins
  ASSERT_TRUE(verdict.blocked);
  EXPECT_NE(verdict.blocked->find("a.json blocks every native host"), std::string::npos) << *verdict.blocked;

  // An allowlist naming the host lifts the block; a recommended one earns only a note.
  write(folder + "recommended/r.json", R"({"NativeMessagingAllowlist":["com.orvix.chrome_native_host"]})");
  verdict = read_policies(roots, chromium, host);
  EXPECT_TRUE(verdict.blocked);
  EXPECT_EQ(verdict.notes.size(), 1u);
  write(folder + "managed/c.json", R"({"NativeMessagingAllowlist":["com.orvix.chrome_native_host"]})");
  EXPECT_FALSE(read_policies(roots, chromium, host).blocked);

  // A value of the wrong type, and a file that is no JSON object, are notes; the browser ignores them.
  write(folder + "managed/d.json", R"({"NativeMessagingUserLevelHosts":"no"})");
  write(folder + "managed/e.json", "[]");
  verdict = read_policies(roots, chromium, host);
  EXPECT_EQ(verdict.user_level_hosts_off, std::nullopt);
  EXPECT_EQ(verdict.notes.size(), 2u);
  for (const auto& note : verdict.notes) EXPECT_NE(note.find("ignores it"), std::string::npos) << note;

  // The browser applies a file with comments and trailing commas, as doctor does.
  fs::remove_all(directory_ / folder);
  write(folder + "managed/lenient.json",
        "{ // set by hand\n  \"NativeMessagingAllowlist\": [\"a//b\", \"/*c*/\",],\n"
        "  /* every host */ \"NativeMessagingBlocklist\": [\"*\"],\n}\n");
  verdict = read_policies(roots, chromium, host);
  EXPECT_TRUE(verdict.blocked);
  EXPECT_TRUE(verdict.notes.empty());

  // Browsers without policies of their own read none.
  EXPECT_FALSE(read_policies(roots, *find_browser("vivaldi"), host).blocked);
}

TEST(LenientJson, DropsCommentsAndTrailingCommasOutsideStringsOnly) {
  EXPECT_EQ(strip_json_leniency("{ // a\n\"a\": [1, 2, /* x */ ], /* y */ }"), "{  \n\"a\": [1, 2   ]   }");
  // Inside a string, // and /* and a comma before } are text; \" does not end the string.
  const std::string strings = R"({"u": "http://x/*", "q": "a\"//,}"})";
  EXPECT_EQ(strip_json_leniency(strings), strings);
  // A comment that never ends is kept, so the file still fails to parse; so does a comma after no value.
  EXPECT_EQ(strip_json_leniency("{} /* open"), "{} /* open");
  EXPECT_EQ(strip_json_leniency("[,]"), "[,]");
  EXPECT_EQ(strip_json_leniency("[1,,]"), "[1,,]");
}

}  // namespace
}  // namespace orvix::register_tool
