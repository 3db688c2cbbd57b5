#include "native_host_register/browsers.h"

#include <gtest/gtest.h>

#include <set>

namespace orvix::register_tool {
namespace {

Roots linux_roots() {
  Roots roots;
  roots.home = "/home/u";
  roots.config_home = "/home/u/.config";
  roots.system_prefix = "/stage";
  return roots;
}

std::string where(const Roots& roots, std::string_view browser, Scope scope) {
  auto target = target_for(roots, *find_browser(browser), scope);
  return target ? target->where() : "-";
}

TEST(BrowserTable, NamesAreUniqueAndEveryRowHasSomeUserLocation) {
  std::set<std::string_view> names;
  for (const BrowserRow& row : known_browsers()) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    EXPECT_FALSE(row.linux_user.empty() && row.mac_user.empty() && row.windows_key.empty()) << row.name;
    // A sandboxed browser reads only the user's folders, so its row has no other location.
    if (!row.flatpak_app.empty()) {
      EXPECT_EQ(row.linux_system.size() + row.mac_system.size() + row.windows_key.size(), 0u) << row.name;
    }
  }
  EXPECT_EQ(find_browser("netscape"), nullptr);
}

TEST(RegistrationTargets, LinuxUserFoldersLieInsideTheBrowsersDataFolders) {
  const Roots roots = linux_roots();
  const std::string file = "/NativeMessagingHosts/com.orvix.chrome_native_host.json";
  EXPECT_EQ(where(roots, "chrome", Scope::user), "/home/u/.config/google-chrome" + file);
  EXPECT_EQ(where(roots, "chrome-dev", Scope::user), "/home/u/.config/google-chrome-unstable" + file);
  EXPECT_EQ(where(roots, "brave-nightly", Scope::user), "/home/u/.config/BraveSoftware/Brave-Browser-Nightly" + file);
  EXPECT_EQ(where(roots, "edge-flatpak", Scope::user),
            "/home/u/.var/app/com.microsoft.Edge/config/microsoft-edge" + file);
}

TEST(RegistrationTargets, SystemFoldersTakeThePrefixAndSomeBrowsersHaveNone) {
  const Roots roots = linux_roots();
  EXPECT_EQ(where(roots, "chrome-canary", Scope::system),
            "/stage/etc/opt/chrome/native-messaging-hosts/com.orvix.chrome_native_host.json");
  EXPECT_EQ(where(roots, "chromium", Scope::system),
            "/stage/etc/chromium/native-messaging-hosts/com.orvix.chrome_native_host.json");
  EXPECT_EQ(where(roots, "vivaldi", Scope::system), "-");
  EXPECT_EQ(where(roots, "chromium-flatpak", Scope::system), "-");
}

TEST(RegistrationTargets, MacosUsesApplicationSupportAndLibrary) {
  Roots roots;
  roots.macos = true;
  roots.home = "/Users/u";
  EXPECT_EQ(where(roots, "edge-beta", Scope::user),
            "/Users/u/Library/Application Support/Microsoft Edge Beta/NativeMessagingHosts/"
            "com.orvix.chrome_native_host.json");
  EXPECT_EQ(where(roots, "chrome", Scope::system),
            "/Library/Google/Chrome/NativeMessagingHosts/com.orvix.chrome_native_host.json");
  EXPECT_EQ(where(roots, "brave-flatpak", Scope::user), "-");
}

TEST(RegistrationTargets, WindowsNamesARegistryKeyPerHive) {
  Roots roots;
  roots.windows = true;
  EXPECT_EQ(where(roots, "chrome-beta", Scope::user),
            "HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\com.orvix.chrome_native_host");
  EXPECT_EQ(where(roots, "edge", Scope::system),
            "HKLM\\Software\\Microsoft\\Edge\\NativeMessagingHosts\\com.orvix.chrome_native_host");
  EXPECT_EQ(where(roots, "thorium", Scope::user), "-");
  EXPECT_EQ(where(roots, "chrome-flatpak", Scope::user), "-");
}

TEST(RegistrationTargets, AUserDataDirMovesThePerUserManifestButNotWindowsKeysOrSystemFolders) {
  Roots roots = linux_roots();
  roots.chrome_config_home = "/elsewhere";  // the folder given wins over what the environment says
  roots.user_data_dir = "/tmp/dev";
  const std::string file = "/tmp/dev/NativeMessagingHosts/com.orvix.chrome_native_host.json";
  EXPECT_EQ(where(roots, "chromium", Scope::user), file);
  EXPECT_EQ(where(roots, "chromium", Scope::system),
            "/stage/etc/chromium/native-messaging-hosts/com.orvix.chrome_native_host.json");
  EXPECT_FALSE(moved_user_folder(roots, *find_browser("chromium")));
  roots.macos = true;
  EXPECT_EQ(where(roots, "chrome", Scope::user), file);
  roots.macos = false;
  roots.windows = true;
  roots.user_data_dir = "C:\\dev";
  EXPECT_EQ(where(roots, "chrome", Scope::user),
            "HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\com.orvix.chrome_native_host");
  EXPECT_EQ(user_data_folder(roots, *find_browser("chrome")), "C:\\dev");  // only the profiles move
}

TEST(RegistrationTargets, WithoutAHomeThereIsNoUserLocation) {
  Roots roots;
  EXPECT_EQ(where(roots, "chrome", Scope::user), "-");
  EXPECT_EQ(where(roots, "chrome", Scope::system),
            "/etc/opt/chrome/native-messaging-hosts/com.orvix.chrome_native_host.json");
}

}  // namespace
}  // namespace orvix::register_tool
