#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace orvix::platform {
namespace {

using namespace std::chrono_literals;
namespace net = boost::asio;
using tcp = net::ip::tcp;

// A loopback listener and the accepted end of one connection to it.
struct Loopback {
  Loopback() : acceptor(context, {net::ip::make_address("127.0.0.1"), 0}), server(context) {
    auto address = resolve_first_address("127.0.0.1", acceptor.local_endpoint().port());
    auto connected = TcpSocket::connect(**address, 1500ms);
    EXPECT_TRUE(connected.has_value());
    client = std::move(*connected);
    acceptor.accept(server);
  }
  net::io_context context;
  tcp::acceptor acceptor;
  tcp::socket server;
  TcpSocket client;
};

std::span<const std::byte> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::byte*>(text.data()), text.size()};
}

TEST(ResolveFirstAddress, LiteralAddressesNeedNoResolver) {
  for (const char* literal : {"127.0.0.1", "::1", "fe80::1"}) {
    auto address = resolve_first_address(literal, 9000);
    ASSERT_TRUE(address.has_value()) << literal;
    ASSERT_TRUE(address->has_value()) << literal;
  }
  EXPECT_NE(resolve_first_address("::1", 1)->value().size, resolve_first_address("127.0.0.1", 1)->value().size);
}

// A label over 63 bytes cannot be put in a DNS query, so the resolver refuses
// it without sending one: the test asks nothing of the network.
const std::string kUnqueryableName = std::string(64, 'a') + ".invalid";

TEST(ResolveFirstAddress, RefusedNamesCarryTheResolversText) {
  for (std::string_view name : {std::string_view(kUnqueryableName), std::string_view("a\0b", 3)}) {
    auto address = resolve_first_address(name, 9000);
    ASSERT_FALSE(address.has_value());
    EXPECT_NE(address.error().text.find(" error "), std::string::npos) << address.error().text;
  }
}

TEST(TcpSocket, ConnectedSocketSendsEachWriteAtOnce) {
  // With Nagle's algorithm on, the last part of a large message would wait
  // for the peer to acknowledge the part before it.
  Loopback link;
  int on = 0;
#if defined(_WIN32)
  int size = sizeof on;
  ASSERT_EQ(::getsockopt(static_cast<SOCKET>(link.client.native_handle()), IPPROTO_TCP, TCP_NODELAY,
                         reinterpret_cast<char*>(&on), &size),
            0);
#else
  socklen_t size = sizeof on;
  ASSERT_EQ(::getsockopt(static_cast<int>(link.client.native_handle()), IPPROTO_TCP, TCP_NODELAY, &on, &size), 0);
#endif
  EXPECT_NE(on, 0);
}

TEST(TcpSocket, SendsGatheredBuffersInOrderAndReceivesThem) {
  Loopback link;
  const std::span<const std::byte> pieces[] = {bytes_of("head"), bytes_of(""), bytes_of("-body")};
  auto sent = link.client.send_some(pieces, 1s);
  ASSERT_TRUE(sent.has_value());
  EXPECT_EQ(*sent, 9u);
  std::string arrived(9, '\0');
  net::read(link.server, net::buffer(arrived));
  EXPECT_EQ(arrived, "head-body");

  net::write(link.server, net::buffer(std::string("reply")));
  std::byte buffer[16];
  auto received = link.client.receive_some(buffer, 1s);
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), *received), "reply");
}

TEST(TcpSocket, ReceiveEndsAtTheDeadlineOrThePeersShutdown) {
  Loopback link;
  std::byte buffer[16];
  const auto started = std::chrono::steady_clock::now();
  auto silent = link.client.receive_some(buffer, 200ms);
  ASSERT_FALSE(silent.has_value());
  EXPECT_TRUE(silent.error().timed_out);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 190ms);

  link.server.close();
  auto closed = link.client.receive_some(buffer, 1s);
  ASSERT_TRUE(closed.has_value());
  EXPECT_EQ(*closed, 0u);
}

TEST(TcpSocket, SendingToAVanishedPeerFailsWithoutASignal) {
  Loopback link;
  link.server.set_option(net::socket_base::linger(true, 0));  // reset, not an orderly close
  link.server.close();
  const std::string block(64 * 1024, 'x');
  const std::span<const std::byte> pieces[] = {bytes_of(block)};
  bool failed = false;
  for (int attempt = 0; attempt < 50 && !failed; ++attempt) failed = !link.client.send_some(pieces, 1s).has_value();
  EXPECT_TRUE(failed);
}

// A stale runtime descriptor names a loopback port nobody listens on: the
// connect must say "refused" at once rather than wait out its limit (Windows
// retries the SYN after a reset unless told not to).
TEST(TcpSocket, AClosedLoopbackPortIsRefusedNotTimedOut) {
  for (const char* loopback : {"127.0.0.1", "::1"}) {
    net::io_context context;
    tcp::acceptor probe(context);
    boost::system::error_code error;
    const auto literal = net::ip::make_address(loopback);
    probe.open(literal.is_v4() ? tcp::v4() : tcp::v6(), error);
    if (!error) probe.bind({literal, 0}, error);
    if (error) continue;  // no IPv6 here
    const auto port = probe.local_endpoint().port();
    probe.close();  // bound, never listening, now free: nothing answers there

    auto address = resolve_first_address(loopback, port);
    ASSERT_TRUE(address && *address) << loopback;
    auto connected = TcpSocket::connect(**address, 1500ms);
    ASSERT_FALSE(connected.has_value()) << loopback;
    EXPECT_FALSE(connected.error().timed_out) << loopback << ": " << connected.error().os.text;
  }
}

}  // namespace
}  // namespace orvix::platform
