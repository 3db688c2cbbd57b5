#include "bridge/runtime_exchange.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "bridge/runtime_peer.h"
#include "json/parse.h"
#include "json/serialize.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace orvix::bridge {
namespace {

using testing::PeerSession;
using testing::RuntimePeer;
namespace beast = testing::beast;
namespace websocket = testing::websocket;
using namespace std::chrono_literals;

// Short I/O deadlines so that silence is detected quickly; the defaults are
// covered by the Slow suite below.
constexpr ExchangeTimeouts kQuick{1500ms, 500ms};

json::Value request_with_id(std::string_view id) {
  json::Object request;
  request["requestId"] = id;
  request["type"] = "test.request";
  return request;
}

Result<json::Value, RuntimeError> exchange(const std::string& url, std::string_view id = "r-1",
                                           const ExchangeTimeouts& timeouts = {}) {
  return runtime_exchange(url, request_with_id(id), id, timeouts);
}

// A failure as the browser sees it: `code`, and the carried text as message.
template <class T>
void expect_failure(const Result<T, RuntimeError>& result, std::string_view code) {
  ASSERT_FALSE(result.has_value()) << code;
  const protocol::HostError error = runtime_error_to_host_error(result.error());
  EXPECT_EQ(error.code, code) << result.error().text;
  EXPECT_EQ(error.message, result.error().text);
}

TEST(RuntimeUrl, RefusedUrlsGiveTheirKindAndMessage) {
  struct Case {
    const char* url;
    const char* code;
    const char* message;  // of the host error; nullptr where the URL parser words it
  };
  const Case cases[] = {
      {"", "runtime_ws_url_invalid", nullptr},
      {"127.0.0.1:9000", "runtime_ws_url_invalid", nullptr},
      {"no scheme at all", "runtime_ws_url_invalid", nullptr},
      {"ws://exa mple:9000/", "runtime_ws_url_invalid", nullptr},
      {"wss://127.0.0.1:9000/", "runtime_ws_url_unsupported", "Runtime WebSocket URL scheme is not supported: wss"},
      {"HTTP://127.0.0.1:9000/", "runtime_ws_url_unsupported", "Runtime WebSocket URL scheme is not supported: http"},
      {"ws:", "runtime_ws_url_invalid", nullptr},
      {"ws://127.0.0.1/", "runtime_ws_url_missing_port", "Runtime WebSocket URL is missing a port."},
      {"ws://127.0.0.1:80/", "runtime_ws_url_missing_port", "Runtime WebSocket URL is missing a port."},
  };
  for (const Case& test : cases) {
    // Through the whole exchange: the URL checks come before any network use.
    auto result = runtime_exchange(test.url, json::Object{}, "id");
    ASSERT_FALSE(result.has_value()) << test.url;
    const protocol::HostError error = runtime_error_to_host_error(result.error());
    EXPECT_EQ(error.code, test.code) << test.url << ": " << result.error().text;
    if (test.message != nullptr) {
      EXPECT_EQ(error.message, test.message) << test.url;
    } else {
      EXPECT_FALSE(error.message.empty()) << test.url;
      EXPECT_EQ(error.message, result.error().text);
    }
  }

  // Two kinds that no exchange here can reach (a "ws" URL always has a host
  // by the time it parses; a send to a just-opened socket does not fail on
  // demand) still reach the browser under their own codes.
  const protocol::HostError no_host = runtime_error_to_host_error({RuntimeErrorCode::ws_url_missing_host, ""});
  EXPECT_EQ(no_host.code, "runtime_ws_url_missing_host");
  EXPECT_EQ(no_host.message, "Runtime WebSocket URL is missing a host.");
  const protocol::HostError unsent = runtime_error_to_host_error({RuntimeErrorCode::request_send_failed, "t"});
  EXPECT_EQ(unsent.code, "runtime_request_send_failed");
  EXPECT_EQ(unsent.message, "t");
}

TEST(RuntimeUrl, AcceptedUrlsGiveTheResolverHostAndPort) {
  auto plain = check_runtime_url("ws://127.0.0.1:81/");
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->host, "127.0.0.1");
  EXPECT_EQ(plain->port, 81);

  auto named = check_runtime_url("  WS://LocalHost:9000/path?q#f ");
  ASSERT_TRUE(named.has_value()) << named.error().text;
  EXPECT_EQ(named->host, "localhost");

  auto v6 = check_runtime_url("ws://[0:0::1]:9000/");
  ASSERT_TRUE(v6.has_value()) << v6.error().text;
  EXPECT_EQ(v6->host, "::1");
}

TEST(RuntimeExchange, ReturnsTheMatchingAnswerAndSendsTheRequestCompact) {
  std::string received;
  std::string after_answer = "(not read)";
  RuntimePeer peer([&](PeerSession& session) {
    received = session.read_message().value_or("");
    session.send_text(R"({"type":"answer","requestId":"r-1","payload":{"n":1}})");
    after_answer = session.raw_bytes_until_closed();
  });
  auto result = exchange(peer.url());
  peer.finish();
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(json::to_compact_string(*result), R"({"payload":{"n":1},"requestId":"r-1","type":"answer"})");
  EXPECT_EQ(received, R"({"requestId":"r-1","type":"test.request"})");
  // The connection is dropped, not closed with a Close frame.
  EXPECT_EQ(after_answer, "");
}

TEST(RuntimeExchange, SkipsOtherAnswersAndNonTextMessages) {
  std::string pong_received;
  RuntimePeer peer([&](PeerSession& session) {
    session.read_message();
    beast::error_code ec;
    session.ws().ping("are you there", ec);
    session.ws().pong("unasked", ec);
    session.send_text(R"({"requestId":"someone-else"})");
    session.send_binary(R"({"requestId":"r-1","from":"binary"})");
    session.send_text(R"({"requestId":12345})");  // same digits, but a number
    session.send_text(R"(["r-1"])");
    session.send_text(R"({"requestId":"r-1","from":"text"})");
    // The client answers the ping while it reads; its pong is the only frame
    // left to read before it drops the connection.
    session.ws().control_callback([&](websocket::frame_type kind, beast::string_view payload) {
      if (kind == websocket::frame_type::pong) pong_received = std::string(payload);
    });
    beast::flat_buffer ignored;
    session.ws().read(ignored, ec);
  });
  auto result = exchange(peer.url(), "r-1");
  peer.finish();
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(json::to_compact_string(*result), R"({"from":"text","requestId":"r-1"})");
  EXPECT_EQ(pong_received, "are you there");

  RuntimePeer numeric([](PeerSession& session) {
    session.read_message();
    session.send_text(R"({"requestId":12345})");
    session.send_text(R"({"requestId":"12345","ok":true})");
    session.drain_until_closed();
  });
  auto numbered = exchange(numeric.url(), "12345");
  ASSERT_TRUE(numbered.has_value()) << numbered.error().text;
  EXPECT_EQ(json::to_compact_string(*numbered), R"({"ok":true,"requestId":"12345"})");
}

TEST(RuntimeExchange, TextThatIsNotJsonEndsTheExchange) {
  std::string sent_back = "(not read)";
  RuntimePeer peer([&](PeerSession& session) {
    session.read_message();
    session.send_text("ok");
    session.send_text(R"({"requestId":"r-1"})");
    sent_back = session.raw_bytes_until_closed();
  });
  auto result = exchange(peer.url());
  peer.finish();
  expect_failure(result, "runtime_response_invalid");
  EXPECT_EQ(result.error().text, "expected value at line 1 column 1");
  EXPECT_EQ(sent_back, "");
}

TEST(RuntimeExchange, PeerClosingBeforeAnsweringIsAReadFailure) {
  RuntimePeer dropped([](PeerSession& session) {
    session.read_message();
    session.socket().close();
  });
  expect_failure(exchange(dropped.url()), "runtime_response_read_failed");

  RuntimePeer closed([](PeerSession& session) {
    session.read_message();
    beast::error_code ec;
    session.ws().close(websocket::close_code::normal, ec);
  });
  expect_failure(exchange(closed.url()), "runtime_response_read_failed");
}

TEST(RuntimeExchange, AProtocolFaultEndsTheExchangeWithoutACloseFrame) {
  const std::pair<const char*, std::string> faults[] = {
      {"masked frame", std::string("\x81\x82\x00\x00\x00\x00{}", 8)},
      {"reserved bits", std::string("\xc1\x02{}", 4)},
      {"unknown opcode", std::string("\x83\x02{}", 4)},
      {"text that is not UTF-8", std::string("\x81\x01\xff", 3)},
      {"Close with a one-byte body", std::string("\x88\x01\x03", 3)},
  };
  for (const auto& [fault, bytes] : faults) {
    std::string sent_back;
    RuntimePeer peer([&, bytes = bytes](PeerSession& session) {
      session.read_message();
      session.send_raw(bytes);
      sent_back = session.raw_bytes_until_closed();
    });
    auto result = exchange(peer.url());
    peer.finish();
    expect_failure(result, "runtime_response_read_failed");
    EXPECT_EQ(sent_back, "") << fault;
  }
}

TEST(RuntimeExchange, TheRuntimesOwnCloseEndsTheExchangeUnanswered) {
  std::string sent_back;
  RuntimePeer peer([&](PeerSession& session) {
    session.read_message();
    session.send_raw(std::string("\x88\x02\x03\xe8", 4));  // Close, 1000
    sent_back = session.raw_bytes_until_closed();
  });
  auto result = exchange(peer.url());
  peer.finish();
  expect_failure(result, "runtime_response_read_failed");
  // The socket is closed without a closing handshake.
  EXPECT_EQ(sent_back, "");
}

TEST(RuntimeExchange, SilenceAfterTheRequestHitsTheReadDeadline) {
  RuntimePeer peer([](PeerSession& session) {
    session.read_message();
    session.drain_until_closed();
  });
  const auto started = std::chrono::steady_clock::now();
  auto result = exchange(peer.url(), "r-1", kQuick);
  expect_failure(result, "runtime_response_read_failed");
  EXPECT_EQ(result.error().text, "timed out waiting for data from the runtime");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST(RuntimeExchange, UnansweredHandshakeHitsTheReadDeadline) {
  RuntimePeer peer([](PeerSession& session) { session.drain_until_closed(); }, RuntimePeer::Kind::bare_tcp);
  auto result = exchange(peer.url(), "r-1", kQuick);
  expect_failure(result, "runtime_ws_handshake_failed");
  EXPECT_EQ(result.error().text, "timed out waiting for data from the runtime");
}

TEST(RuntimeExchange, EachStepIsBoundedAsAWholeHoweverTheRuntimeKeepsItAlive) {
  // Every single read gets data well within its limit; only the limit on
  // the step as a whole can end these exchanges.
  constexpr ExchangeTimeouts kShortSteps{1500ms, 20000ms, 1000ms};
  const auto every_tenth_of_a_second = [](PeerSession& session, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size() && session.send_raw(bytes.substr(i, 1)); ++i) {
      std::this_thread::sleep_for(100ms);
    }
  };
  const std::string answer = R"({"requestId":"r-1","pad":")" + std::string(60, 'x') + "\"}";
  const std::string unmasked_text_frame = std::string("\x81") + static_cast<char>(answer.size()) + answer;
  struct Case {
    const char* runtime;
    RuntimePeer::Kind kind;
    RuntimePeer::Script script;
    const char* code;
  };
  const Case cases[] = {
      {"pings after the request, never answers", RuntimePeer::Kind::websocket,
       [](PeerSession& session) {
         session.read_message();
         for (int i = 0; i < 100 && session.ping(); ++i) std::this_thread::sleep_for(100ms);
       },
       "runtime_response_read_failed"},
      {"answers a byte at a time", RuntimePeer::Kind::websocket,
       [&](PeerSession& session) {
         session.read_message();
         every_tenth_of_a_second(session, unmasked_text_frame);
       },
       "runtime_response_read_failed"},
      {"answers the handshake a byte at a time", RuntimePeer::Kind::bare_tcp,
       [&](PeerSession& session) {
         every_tenth_of_a_second(session, "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n");
       },
       "runtime_ws_handshake_failed"},
  };
  for (const Case& test : cases) {
    RuntimePeer peer(test.script, test.kind);
    const auto started = std::chrono::steady_clock::now();
    auto result = exchange(peer.url(), "r-1", kShortSteps);
    const auto waited = std::chrono::steady_clock::now() - started;
    expect_failure(result, test.code);
    EXPECT_EQ(result.error().text, "the runtime did not complete this step within its time limit") << test.runtime;
    EXPECT_LT(waited, 10s) << test.runtime;
  }
}

TEST(RuntimeExchange, HandshakeCarriesOnlyTheRequiredHeaders) {
  RuntimePeer peer(testing::answer_request);
  const std::string url = "ws://user:secret@127.0.0.1:" + std::to_string(peer.port()) + "/rpc/v1?token=a%20b#frag";
  auto result = exchange(url);
  peer.finish();
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(peer.target(), "/rpc/v1?token=a%20b");
  std::vector<std::string> names;
  for (const auto& [name, value] : peer.fields()) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Host", "Upgrade", "Connection", "Sec-WebSocket-Key", "Sec-WebSocket-Version"}));
  EXPECT_EQ(peer.fields()[0].second, "127.0.0.1:" + std::to_string(peer.port()));
}

TEST(RuntimeExchange, HostsThatBeginLikeAnIpv4AddressGoOutAsWritten) {
  // The connection goes to 127.0.0.1, the address the URL parser reads in
  // each; the Host header keeps the name as the URL writes it.
  for (const char* host : {"127.0.0.1.", "127.0.0.0x1"}) {
    RuntimePeer peer(testing::answer_request);
    const std::string authority = host + (":" + std::to_string(peer.port()));
    auto result = exchange("ws://" + authority + "/");
    peer.finish();
    ASSERT_TRUE(result.has_value()) << host << ": " << result.error().text;
    EXPECT_EQ(peer.target(), "/") << host;
    EXPECT_EQ(peer.fields()[0].second, authority);
  }
}

TEST(RuntimeExchange, UrlTextThatCouldInjectHeaderLinesNeverReachesTheWire) {
  // The URL parser strips line breaks and escapes spaces, so these pass the
  // URL check; the handshake must still refuse the raw text.
  for (const std::string path : {"/a b", "/a\r\nX-Injected: 1", "/a\tb"}) {
    RuntimePeer peer(testing::answer_request);
    auto result = exchange(peer.url(path));
    peer.finish();
    expect_failure(result, "runtime_ws_handshake_failed");
    EXPECT_FALSE(peer.handshake_arrived()) << path;
  }
}

TEST(RuntimeExchange, ConnectsToIpv6Loopback) {
  std::unique_ptr<RuntimePeer> peer;
  try {
    peer = std::make_unique<RuntimePeer>(testing::answer_request, RuntimePeer::Kind::websocket, "::1");
  } catch (const boost::system::system_error&) {
    GTEST_SKIP() << "no IPv6 loopback here";
  }
  auto result = exchange(peer->url());
  ASSERT_TRUE(result.has_value()) << result.error().text;
  peer->finish();
  EXPECT_EQ(peer->fields()[0].second, "[::1]:" + std::to_string(peer->port()));
}

TEST(RuntimeExchange, RefusedConnectionIsAConnectFailure) {
  std::uint16_t port = 0;
  {
    testing::net::io_context context;
    testing::tcp::acceptor closed(context, {testing::net::ip::make_address("127.0.0.1"), 0});
    port = closed.local_endpoint().port();
  }
  auto result = exchange("ws://127.0.0.1:" + std::to_string(port) + "/");
  expect_failure(result, "runtime_connect_failed");
  EXPECT_NE(result.error().text.find("(os error "), std::string::npos) << result.error().text;
}

TEST(RuntimeExchange, ConnectGivesUpAfterTheConnectTimeout) {
  // A listener whose accept queue is full drops further connection attempts
  // without answering them, so the connect can only time out.
  testing::net::io_context context;
  testing::tcp::acceptor full(context, {testing::net::ip::make_address("127.0.0.1"), 0}, false);
  full.listen(0);
  testing::tcp::socket queued(context);
  queued.connect(full.local_endpoint());

  const auto started = std::chrono::steady_clock::now();
  auto result = exchange("ws://127.0.0.1:" + std::to_string(full.local_endpoint().port()) + "/");
  const auto waited = std::chrono::steady_clock::now() - started;
  ASSERT_FALSE(result.has_value());
  if (result.error().code != RuntimeErrorCode::connect_failed) {
    GTEST_SKIP() << "this system queues connections beyond the backlog: " << result.error().text;
  }
  EXPECT_EQ(result.error().text, "connection timed out");
  EXPECT_GE(waited, 1400ms);
  EXPECT_LT(waited, 5s);
}

TEST(RuntimeExchange, UnresolvableHostIsAResolveFailure) {
  // A label over 63 bytes cannot be put in a DNS query: the resolver refuses
  // it without asking the network.
  auto result = exchange("ws://" + std::string(64, 'a') + ".invalid:9000/");
  expect_failure(result, "runtime_host_resolve_failed");
  EXPECT_FALSE(result.error().text.empty());
}

TEST(RuntimeExchange, AnAnswerInManySmallFramesArrivesWhole) {
  // Frames of 4 KiB: their headers and payloads are handed to the library
  // out of reads that took many frames at once.
  const std::string text(300000, 'p');
  RuntimePeer peer([&](PeerSession& session) {
    session.read_message();
    session.ws().write_buffer_bytes(4096);
    session.send_text(R"({"requestId":"r-1","text":")" + text + "\"}");
    session.drain_until_closed();
  });
  auto result = exchange(peer.url());
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(json::string_at(*result, {"text"}), text);
}

TEST(RuntimeExchange, FramesUpToSixteenMebibytesAndMessagesBeyondThemPass) {
  // 20 MiB in two frames: within the message limit, each frame within its own.
  const std::string padding(10u * 1024u * 1024u, 'x');
  RuntimePeer peer([&](PeerSession& session) {
    session.read_message();
    session.ws().auto_fragment(false);
    beast::error_code ec;
    session.ws().write_some(false, testing::net::buffer(R"({"requestId":"r-1","pad":")" + padding), ec);
    session.ws().write_some(true, testing::net::buffer(padding + "\"}"), ec);
    session.drain_until_closed();
  });
  auto result = exchange(peer.url());
  ASSERT_TRUE(result.has_value()) << result.error().text;
  EXPECT_EQ(json::string_at(*result, {"pad"})->size(), 2 * padding.size());
}

TEST(RuntimeExchange, FrameAnnouncingMoreThanSixteenMebibytesFailsTheRead) {
  RuntimePeer peer([](PeerSession& session) {
    session.read_message();
    // A final text frame header announcing 16 MiB + 1, then a little payload.
    const char header[] = {'\x81', 127, 0, 0, 0, 0, 1, 0, 0, 1};
    session.send_raw(std::string(header, sizeof header) + "{\"requestId\"");
    session.drain_until_closed();
  });
  auto result = exchange(peer.url());
  expect_failure(result, "runtime_response_read_failed");
  EXPECT_EQ(result.error().text, "WebSocket frame larger than 16 MiB");

  // The answer and the header of a later oversized frame in one segment: the
  // answer came first, so it is the result.
  RuntimePeer ahead([](PeerSession& session) {
    session.read_message();
    const std::string answer = R"({"requestId":"r-1","n":2})";
    const char oversized[] = {'\x82', 127, 0, 0, 0, 0, 1, 0, 0, 1};
    session.send_raw(std::string{'\x81', static_cast<char>(answer.size())} + answer +
                     std::string(oversized, sizeof oversized) + "xyz");
    session.drain_until_closed();
  });
  auto answered = exchange(ahead.url());
  ASSERT_TRUE(answered.has_value()) << answered.error().text;
  EXPECT_EQ(json::to_compact_string(*answered), R"({"n":2,"requestId":"r-1"})");
}

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
    expect_failure(version, "runtime_response_invalid");
    EXPECT_EQ(version.error().text, "Runtime returned an unexpected response type.") << body;
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
    expect_failure(result, "runtime_request_invalid");
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

// These wait for the real 20-second socket deadlines.
TEST(SlowRuntimeExchange, UnansweredHandshakeFailsAfterTwentySeconds) {
  RuntimePeer peer([](PeerSession& session) { session.drain_until_closed(); }, RuntimePeer::Kind::bare_tcp);
  const auto started = std::chrono::steady_clock::now();
  auto result = exchange(peer.url());
  const auto waited = std::chrono::steady_clock::now() - started;
  expect_failure(result, "runtime_ws_handshake_failed");
  EXPECT_GE(waited, 19s);
  EXPECT_LT(waited, 40s);
}

TEST(SlowRuntimeExchange, SilentRuntimeFailsTheReadAfterTwentySeconds) {
  RuntimePeer peer([](PeerSession& session) {
    session.read_message();
    session.drain_until_closed();
  });
  const auto started = std::chrono::steady_clock::now();
  auto result = exchange(peer.url());
  const auto waited = std::chrono::steady_clock::now() - started;
  expect_failure(result, "runtime_response_read_failed");
  EXPECT_GE(waited, 19s);
  EXPECT_LT(waited, 40s);
}

}  // namespace
}  // namespace orvix::bridge
