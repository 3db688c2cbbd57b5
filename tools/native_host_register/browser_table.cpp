#include "browser_table.h"

#include <array>

namespace orvix::register_tool {

namespace {

// Sources, named beside each row:
// [chrome]   https://developer.chrome.com/docs/extensions/develop/concepts/native-messaging#native-messaging-host-location
//            (locations of Chrome and Chromium on each system; every Chrome channel reads the same system
//            folder and the same registry key)
// [datadir]  https://chromium.googlesource.com/chromium/src/+/HEAD/docs/user_data_dir.md
//            (the user data folder of each Chrome channel and of Chromium on each system; the user-level
//            manifest folder lies inside it; on Windows the folder only tells that the browser is there)
// [edge]     https://learn.microsoft.com/microsoft-edge/extensions/developer-guide/native-messaging
//            (Edge's folders per channel and its registry key)
// [brave]    https://github.com/brave/brave-browser/wiki/Installing-Brave-on-Linux and
//            https://support.brave.com (user data folders of the Brave channels); Brave keeps Chromium's
//            manifest layout inside them
// [vivaldi]  https://help.vivaldi.com/desktop/miscellaneous/where-is-my-vivaldi-profile-stored/
// [opera]    https://help.opera.com/en/latest/crashes-and-issues/#findProfile (profile folders; Opera reads
//            manifests the Chromium way inside them)
// [yandex]   https://browser.yandex.com/help/ (profile folders of Yandex Browser)
// [thorium]  https://github.com/Alex313031/thorium (README: profile folders of Thorium)
// [flatpak]  https://docs.flatpak.org/en/latest/conventions.html#xdg-base-directories (a Flatpak app's
//            XDG_CONFIG_HOME is ~/.var/app/<app id>/config) and the app ids on https://flathub.org
// Where a source documents no system-wide folder or registry key for a browser, the field stays empty.
constexpr std::array kBrowsers{
    // clang-format off
    //            name                display name                linux user                             linux system                              mac user                               mac system                                                    windows key                             windows data                                       flatpak app
    BrowserRow{"chrome",           "Google Chrome",            "google-chrome",                       "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome",                       "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome\\User Data",                       ""},  // [chrome]
    BrowserRow{"chrome-beta",      "Google Chrome Beta",       "google-chrome-beta",                  "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Beta",                  "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome Beta\\User Data",                  ""},  // [chrome] [datadir]
    BrowserRow{"chrome-dev",       "Google Chrome Dev",        "google-chrome-unstable",              "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Dev",                   "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome Dev\\User Data",                   ""},  // [chrome] [datadir]
    BrowserRow{"chrome-canary",    "Google Chrome Canary",     "google-chrome-canary",                "/etc/opt/chrome/native-messaging-hosts", "Google/Chrome Canary",                "/Library/Google/Chrome/NativeMessagingHosts",                "Google\\Chrome",                       "Google\\Chrome SxS\\User Data",                   ""},  // [chrome] [datadir]
    BrowserRow{"chromium",         "Chromium",                 "chromium",                            "/etc/chromium/native-messaging-hosts",   "Chromium",                            "/Library/Application Support/Chromium/NativeMessagingHosts", "Chromium",                             "Chromium\\User Data",                             ""},  // [chrome]
    BrowserRow{"edge",             "Microsoft Edge",           "microsoft-edge",                      "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge",                      "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge\\User Data",                      ""},  // [edge]
    BrowserRow{"edge-beta",        "Microsoft Edge Beta",      "microsoft-edge-beta",                 "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge Beta",                 "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge Beta\\User Data",                 ""},  // [edge]
    BrowserRow{"edge-dev",         "Microsoft Edge Dev",       "microsoft-edge-dev",                  "/etc/opt/edge/native-messaging-hosts",   "Microsoft Edge Dev",                  "/Library/Microsoft/Edge/NativeMessagingHosts",               "Microsoft\\Edge",                      "Microsoft\\Edge Dev\\User Data",                  ""},  // [edge]
    BrowserRow{"brave",            "Brave",                    "BraveSoftware/Brave-Browser",         "",                                       "BraveSoftware/Brave-Browser",         "",                                                           "BraveSoftware\\Brave-Browser",         "BraveSoftware\\Brave-Browser\\User Data",         ""},  // [brave]
    BrowserRow{"brave-beta",       "Brave Beta",               "BraveSoftware/Brave-Browser-Beta",    "",                                       "BraveSoftware/Brave-Browser-Beta",    "",                                                           "BraveSoftware\\Brave-Browser-Beta",    "BraveSoftware\\Brave-Browser-Beta\\User Data",    ""},  // [brave]
    BrowserRow{"brave-nightly",    "Brave Nightly",            "BraveSoftware/Brave-Browser-Nightly", "",                                       "BraveSoftware/Brave-Browser-Nightly", "",                                                           "BraveSoftware\\Brave-Browser-Nightly", "BraveSoftware\\Brave-Browser-Nightly\\User Data", ""},  // [brave]
    BrowserRow{"vivaldi",          "Vivaldi",                  "vivaldi",                             "",                                       "Vivaldi",                             "",                                                           "Vivaldi",                              "Vivaldi\\User Data",                              ""},  // [vivaldi]
    BrowserRow{"opera",            "Opera",                    "opera",                               "",                                       "com.operasoftware.Opera",             "",                                                           "Opera Software",                       "Opera Software\\Opera Stable",                    ""},  // [opera]
    BrowserRow{"yandex",           "Yandex Browser",           "yandex-browser",                      "",                                       "Yandex/YandexBrowser",                "",                                                           "Yandex\\YandexBrowser",                "Yandex\\YandexBrowser\\User Data",                ""},  // [yandex]
    BrowserRow{"thorium",          "Thorium",                  "thorium",                             "",                                       "Thorium",                             "",                                                           "",                                     "",                                                ""},  // [thorium]
    BrowserRow{"chrome-flatpak",   "Google Chrome (Flatpak)",  "google-chrome",                       "",                                       "",                                    "",                                                           "",                                     "",                                                "com.google.Chrome"},  // [chrome] [flatpak]
    BrowserRow{"chromium-flatpak", "Chromium (Flatpak)",       "chromium",                            "",                                       "",                                    "",                                                           "",                                     "",                                                "org.chromium.Chromium"},  // [chrome] [flatpak]
    BrowserRow{"edge-flatpak",     "Microsoft Edge (Flatpak)", "microsoft-edge",                      "",                                       "",                                    "",                                                           "",                                     "",                                                "com.microsoft.Edge"},  // [edge] [flatpak]
    BrowserRow{"brave-flatpak",    "Brave (Flatpak)",          "BraveSoftware/Brave-Browser",         "",                                       "",                                    "",                                                           "",                                     "",                                                "com.brave.Browser"},  // [brave] [flatpak]
    // clang-format on
};

}  // namespace

std::span<const BrowserRow> known_browsers() { return kBrowsers; }

const BrowserRow* find_browser(std::string_view name) {
  for (const BrowserRow& row : kBrowsers) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

}  // namespace orvix::register_tool
