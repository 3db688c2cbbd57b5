// The connection descriptor the sample runtime publishes for the host.
//
// publish() resolves the descriptor path from the environment (ORVIX_HOME,
// else HOME/.orvix, else USERPROFILE/.orvix), creates its directories and
// replaces the file atomically with the descriptor's text
// (discovery/descriptor_text.h): protocol version 1, this process's id, the
// version and URL given, and the time of publishing. withdraw() removes the
// file only while it still holds what this process wrote, so a newer
// runtime's descriptor is kept. Both fail with a text for people.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::sample_runtime {

class PublishedDescriptor {
 public:
  [[nodiscard]] static Result<PublishedDescriptor> publish(std::string_view version, std::string_view ws_url);

  const std::string& path() const { return path_; }

  // Removes the file if it is still ours.
  [[nodiscard]] Result<void> withdraw() const;

 private:
  PublishedDescriptor(std::string path, std::string content) : path_(std::move(path)), content_(std::move(content)) {}
  std::string path_;
  std::string content_;
};

}  // namespace orvix::sample_runtime
