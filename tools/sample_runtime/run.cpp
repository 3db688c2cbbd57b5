#include "run.h"

#include <csignal>
#include <iostream>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include "descriptor_file.h"
#include "ws_server.h"

namespace orvix::sample_runtime {

int run_sample_runtime(const Options& options) {
  boost::asio::io_context io;

  // Signals are taken before the descriptor exists, so none can end the
  // process between publishing and serving and leave a stale descriptor.
  boost::asio::signal_set stop_signals(io);
  boost::system::error_code error;
  stop_signals.add(SIGINT, error);
  if (!error) stop_signals.add(SIGTERM, error);
  if (error) {
    std::cerr << "sample runtime: cannot handle stop signals: " << error.message() << "\n";
    return 1;
  }

  auto server = WsServer::listen(io, options.port, options.version);
  if (!server) {
    std::cerr << "sample runtime: " << server.error() << "\n";
    return 1;
  }
  const std::string ws_url = "ws://127.0.0.1:" + std::to_string((*server)->port()) + "/";
  auto descriptor = PublishedDescriptor::publish(options.version, ws_url);
  if (!descriptor) {
    std::cerr << "sample runtime: " << descriptor.error().text << "\n";
    return 1;
  }
  std::cout << "sample runtime listening on " << ws_url << " (descriptor " << descriptor->path() << ")"
            << std::endl;

  int status = 0;
  stop_signals.async_wait([&](const boost::system::error_code& wait_error, int) {
    if (wait_error) return;
    (*server)->close();
    if (auto withdrawn = descriptor->withdraw(); !withdrawn) {
      std::cerr << "sample runtime: " << withdrawn.error().text << "\n";
      status = 1;
    }
    io.stop();
  });
  io.run();
  return status;
}

}  // namespace orvix::sample_runtime
