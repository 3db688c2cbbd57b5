#include "descriptor_file.h"

#include "base/path.h"
#include "discovery/product_home.h"
#include "discovery/runtime_descriptor.h"
#include "platform/clock.h"
#include "platform/filesystem.h"
#include "platform/process.h"
#include "support/file_replace.h"

namespace orvix::sample_runtime {

Result<PublishedDescriptor> PublishedDescriptor::publish(std::string_view version, std::string_view ws_url) {
  auto path = discovery::resolve_descriptor_path();
  if (!path) return Failure(Failure::Kind::kInvalidInput, "no product home: set ORVIX_HOME or HOME");

  discovery::RuntimeConnectionDescriptor descriptor;
  descriptor.protocol_version = discovery::kSupportedDescriptorProtocol;
  descriptor.pid = platform::current_process_id();
  descriptor.runtime_version = version;
  descriptor.ws_url = ws_url;
  descriptor.updated_at = platform::unix_time_ms();
  std::string content = discovery::write_descriptor(descriptor);

  // A directory that cannot be made shows up as the write's failure.
  platform::create_directories(parent_path(*path));
  if (auto written = support::replace_file(*path, content); !written) {
    return Failure(Failure::Kind::kSystem, "cannot write " + *path + ": " + written.error().text);
  }
  return PublishedDescriptor(std::move(*path), std::move(content));
}

Result<void> PublishedDescriptor::withdraw() const {
  auto current = platform::read_regular_file(path_, content_.size());
  if (!current) {
    using Kind = platform::FileError::Kind;
    // Gone already, something longer than what this process wrote, or no
    // regular file at all: not ours to remove, and nothing went wrong.
    const Kind kind = current.error().kind;
    if (kind == Kind::kNotFound || kind == Kind::kTooLarge || kind == Kind::kNotRegular) return {};
    return Failure(Failure::Kind::kSystem, "cannot read " + path_ + ": " + current.error().os.text);
  }
  if (*current != content_) return {};
  if (auto removed = support::remove_file(path_); !removed) {
    return Failure(Failure::Kind::kSystem, "cannot remove " + path_ + ": " + removed.error().text);
  }
  return {};
}

}  // namespace orvix::sample_runtime
