#include "bridge/request_exchange.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "bridge/runtime_peer.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace orvix::bridge {
namespace {

using testing::PeerSession;
using testing::RuntimePeer;

// A runtime that answers the probe with `body` (members after "requestId").
struct StatusRuntime {
  explicit StatusRuntime(std::string body)
      : peer([this, body = std::move(body)](PeerSession& session) {
          request = session.read_message().value_or("");
          session.send_text(R"({"requestId":")" + testing::request_id_of(request) + "\"" + body + "}");
          session.drain_until_closed();
        }) {}
  std::string request;
  RuntimePeer peer;
};

TEST(MakeRequestId, NamesTheProcessAndTheMillisecond) {
  const std::uint64_t before = platform::unix_time_ms();
  const std::string id = make_request_id();
  const std::uint64_t after = platform::unix_time_ms();
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(id, parts, std::regex("native-host-([0-9]+)-([0-9]+)"))) << id;
  EXPECT_EQ(parts[1].str(), std::to_string(platform::current_process_id()));
  const std::uint64_t stamp = std::stoull(parts[2].str());
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
}

TEST(QueryRuntimeStatus, SendsTheProbeAndReadsTheBuildVersion) {
  StatusRuntime runtime(R"(,"type":"runtime.status","payload":{"build":{"version":"1.2.3"}})");
  auto version = query_runtime_status(runtime.peer.url());
  runtime.peer.finish();
  ASSERT_TRUE(version.has_value()) << version.error().text;
  EXPECT_EQ(*version, "1.2.3");
  EXPECT_TRUE(std::regex_match(runtime.request,
                               std::regex(R"(\{"requestId":"native-host-[0-9]+-[0-9]+","type":"runtime.get"\})")))
      << runtime.request;
}

TEST(QueryRuntimeStatus, VersionIsPresentOnlyWhenItIsAString) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {R"(,"type":"runtime.status")", std::nullopt},
      {R"(,"type":"runtime.status","payload":{"build":{"version":3}})", std::nullopt},
      {R"(,"type":"runtime.status","payload":{"build":"1.0"})", std::nullopt},
      {R"(,"type":"runtime.status","payload":{"build":{"version":""}})", std::string()},
  };
  for (const auto& [body, expected] : cases) {
    StatusRuntime runtime(body);
    auto version = query_runtime_status(runtime.peer.url());
    ASSERT_TRUE(version.has_value()) << body << ": " << version.error().text;
    EXPECT_EQ(*version, expected) << body;
  }
}

TEST(QueryRuntimeStatus, RefusesAnswersOfAnotherType) {
  for (const char* body : {"", R"(,"type":"runtime.Status")", R"(,"type":null)"}) {
    StatusRuntime runtime(body);
    auto version = query_runtime_status(runtime.peer.url());
    ASSERT_FALSE(version.has_value()) << body;
    EXPECT_EQ(version.error().code, RuntimeErrorCode::response_invalid);
    EXPECT_EQ(version.error().text, "Runtime returned an unexpected response type.");
  }
}

TEST(ForwardRuntimeRequest, RefusesBadMessagesBeforeConnecting) {
  // Nothing listens at this URL: any attempt to connect would fail differently.
  const std::string nowhere = "ws://127.0.0.1:9/";
  const std::pair<const char*, std::string_view> cases[] = {
      {"null", kPayloadNotObject},
      {"[1]", kPayloadNotObject},
      {"\"text\"", kPayloadNotObject},
      {R"({"requestId":""})", kRequestIdNotNonEmptyString},
      {R"({"requestId":7})", kRequestIdNotNonEmptyString},
      {R"({"requestId":null})", kRequestIdNotNonEmptyString},
  };
  for (const auto& [message, text] : cases) {
    auto result = forward_runtime_request(nowhere, *json::parse_json(message));
    ASSERT_FALSE(result.has_value()) << message;
    EXPECT_EQ(result.error().code, RuntimeErrorCode::request_invalid) << message;
    EXPECT_EQ(result.error().text, text) << message;
  }
}

TEST(ForwardRuntimeRequest, KeepsTheBrowsersIdAndReturnsTheWholeAnswer) {
  std::string received;
  RuntimePeer peer([&](PeerSession& session) {
    received = session.read_message().value_or("");
    session.send_text(R"({"requestId":"abc","type":"reply","payload":{"command":{"x":1}}})");
    session.drain_until_closed();
  });
  auto result = forward_runtime_request(peer.url(), *json::parse_json(R"({"type":"t","requestId":"abc","z":[1]})"));
  peer.finish();
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(received, R"({"requestId":"abc","type":"t","z":[1]})");
  EXPECT_EQ(json::to_compact_string(*result), R"({"payload":{"command":{"x":1}},"requestId":"abc","type":"reply"})");
}

TEST(ForwardRuntimeRequest, AddsAGeneratedIdWhenTheMessageHasNone) {
  std::string received;
  RuntimePeer peer([&](PeerSession& session) {
    received = session.read_message().value_or("");
    session.send_text(R"({"requestId":")" + testing::request_id_of(received) + R"(","type":"ok"})");
    session.drain_until_closed();
  });
  auto result = forward_runtime_request(peer.url(), *json::parse_json(R"({"type":"browser.native.poll","n":1.5})"));
  peer.finish();
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_TRUE(std::regex_match(
      received, std::regex(R"(\{"n":1.5,"requestId":"native-host-[0-9]+-[0-9]+","type":"browser.native.poll"\})")))
      << received;
}

}  // namespace
}  // namespace orvix::bridge
