// The connection descriptor the sample runtime publishes for the host.
//
// publish() resolves the descriptor path from the environment (ORVIX_HOME,
// else HOME/.orvix, else USERPROFILE/.orvix), creates its directories and
// replaces the file atomically with
//   {"protocolVersion":1,"pid":<this process>,"runtimeVersion":V,"wsUrl":U,"updatedAt":<unix ms>}
// It fails with a text for people. withdraw() removes the file only while it
// still holds what this process wrote, so a newer runtime's descriptor is kept.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace orvix::sample_runtime {

class PublishedDescriptor {
 public:
  [[nodiscard]] static Result<PublishedDescriptor> publish(std::string_view version, std::string_view ws_url);

  const std::string& path() const { return path_; }

  // Removes the file if it is still ours. Fails with a text for people.
  [[nodiscard]] Result<void> withdraw() const;

 private:
  PublishedDescriptor(std::string path, std::string content) : path_(std::move(path)), content_(std::move(content)) {}
  std::string path_;
  std::string content_;
};

}  // namespace orvix::sample_runtime
