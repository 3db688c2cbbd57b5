#include "run.h"

#include <csignal>
#include <iostream>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include "descriptor_file.h"
#include "ws_server.h"

namespace orvix::sample_runtime {

Result<void> run_sample_runtime(const Options& options) {
  boost::asio::io_context io;

  // Signals are taken before the descriptor exists, so none can end the
  // process between publishing and serving and leave a stale descriptor.
  boost::asio::signal_set stop_signals(io);
  boost::system::error_code error;
  stop_signals.add(SIGINT, error);
  if (!error) stop_signals.add(SIGTERM, error);
  if (error) return Failure(Failure::Kind::kSystem, "cannot handle stop signals: " + error.message());

  auto server = WsServer::listen(io, options.port, options.version);
  if (!server) return server.error();
  const std::string ws_url = "ws://127.0.0.1:" + std::to_string((*server)->port()) + "/";
  auto descriptor = PublishedDescriptor::publish(options.version, ws_url);
  if (!descriptor) return descriptor.error();
  std::cout << "sample runtime listening on " << ws_url << " (descriptor " << descriptor->path() << ")" << std::endl;

  Result<void> withdrawn;
  stop_signals.async_wait([&](const boost::system::error_code& wait_error, int) {
    if (wait_error) return;
    (*server)->close();
    withdrawn = descriptor->withdraw();
    io.stop();
  });
  io.run();
  return withdrawn;
}

}  // namespace orvix::sample_runtime
