// Runs the web-platform-tests URL parsing cases that have no base URL
// (tests/url/data/wpt-urltestdata.json.gz, the upstream file unchanged and
// gzip-compressed) through parse_url.
//
// A case either agrees in full or is listed in kDivergences (one list per
// platform, url_divergences.h) with the reason this build cannot agree; a listed case that starts agreeing is reported
// too, so the list cannot go stale.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <iostream>
#include <map>
#include <string>

#include <zlib.h>

#include "url/url.h"
#include "url/url_divergences.h"

namespace orvix::url {
namespace {

std::string read_gzip_file(const std::string& path) {
  std::string text;
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char buffer[65536];
  for (int n; (n = gzread(file, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  gzclose(file);
  return text;
}

boost::json::array load_cases() {
  const std::string text = read_gzip_file(std::string(ORVIX_TEST_DATA_DIR) + "/url/data/wpt-urltestdata.json.gz");
  boost::system::error_code ec;
  boost::json::value data = boost::json::parse(text, ec);
  if (ec || !data.is_array()) return {};
  return std::move(data.as_array());
}

std::string member(const boost::json::object& object, const char* key) {
  const boost::json::value* value = object.if_contains(key);
  return value && value->is_string() ? std::string(value->get_string()) : std::string();
}

// The parts as the data spells them: "" for an absent port, query or fragment.
std::map<std::string, std::string> parts_of(const Url& url) {
  return {
      {"href", url.href()},
      {"protocol", url.scheme + ":"},
      {"username", url.username},
      {"password", url.password},
      {"hostname", url.host.value_or("")},
      {"port", url.port ? std::to_string(*url.port) : ""},
      {"pathname", url.path},
      {"search", url.query && !url.query->empty() ? "?" + *url.query : ""},
      {"hash", url.fragment && !url.fragment->empty() ? "#" + *url.fragment : ""},
  };
}

// Empty when the case agrees, else what differs.
std::string disagreement(const boost::json::object& test) {
  const std::string input = member(test, "input");
  const boost::json::value* failure = test.if_contains("failure");
  const bool expect_failure = failure && failure->is_bool() && failure->get_bool();
  const auto parsed = parse_url(input);
  if (expect_failure) return parsed ? "parsed as " + parsed->href() + ", expected failure" : "";
  if (!parsed) return "failed (" + parsed.error().text + "), expected " + member(test, "href");
  std::string differences;
  for (const auto& [key, actual] : parts_of(*parsed)) {
    const std::string expected = member(test, key.c_str());
    if (actual != expected) differences += key + " is \"" + actual + "\", expected \"" + expected + "\"; ";
  }
  // The serialisation must read back as itself.
  const auto reparsed = parse_url(parsed->href());
  if (!reparsed || reparsed->href() != parsed->href()) differences += "href does not parse back to itself; ";
  return differences;
}

TEST(UrlConformance, DataNamesItsUpstreamCommit) {
  const boost::json::array cases = load_cases();
  ASSERT_FALSE(cases.empty()) << "test data missing or unreadable";
  ASSERT_TRUE(cases.front().is_string());
  EXPECT_TRUE(cases.front().get_string().starts_with("# Pulled from https://github.com/web-platform-tests/wpt/blob/"));
}

TEST(UrlConformance, EveryCaseWithoutBaseAgreesOrIsListed) {
  const boost::json::array cases = load_cases();
  ASSERT_FALSE(cases.empty()) << "test data missing or unreadable";
  int total = 0, passed = 0, listed = 0;
  for (const boost::json::value& entry : cases) {
    const boost::json::object* test = entry.if_object();
    if (!test) continue;  // comments
    const boost::json::value* base = test->if_contains("base");
    if (!base || !base->is_null()) continue;
    ++total;
    const std::string input = member(*test, "input");
    const std::string difference = disagreement(*test);
    const auto divergence = kDivergences.find(input);
    if (divergence != kDivergences.end()) {
      ++listed;
      EXPECT_FALSE(difference.empty()) << "listed divergence now agrees, remove it: " << input;
    } else if (difference.empty()) {
      ++passed;
    } else {
      ADD_FAILURE() << "input \"" << input << "\": " << difference;
    }
  }
  EXPECT_EQ(listed, static_cast<int>(kDivergences.size())) << "a listed input is not in the data";
  EXPECT_GT(total, 500);
  std::cout << "[ conformance ] passed " << passed << " / listed divergences " << listed << " / total " << total
            << "\n";
}

}  // namespace
}  // namespace orvix::url
