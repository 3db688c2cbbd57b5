#include "discovery/runtime_descriptor.h"

#include "discovery/product_home.h"
#include "platform/filesystem.h"
#include "platform/utf8.h"

namespace orvix::discovery {

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

Result<LoadedDescriptor, DescriptorFailure> load_runtime_descriptor() {
  auto path = resolve_descriptor_path();
  if (!path) return DescriptorFailure{DescriptorHomeUnresolved{}};

  // Opened straight away: "not found" is learnt from the open itself, so a
  // file that appears or vanishes meanwhile cannot fall between two steps.
  auto content = platform::read_regular_file(*path, kMaxDescriptorSize);
  if (!content) {
    const platform::FileError& error = content.error();
    switch (error.kind) {
      case platform::FileError::Kind::kNotFound: return DescriptorFailure{DescriptorMissing{std::move(*path)}};
      case platform::FileError::Kind::kNotRegular:
        return DescriptorFailure{DescriptorReadFailed{*path, std::string(kNotRegularText)}};
      case platform::FileError::Kind::kTooLarge:
        return DescriptorFailure{
            DescriptorReadFailed{*path, "descriptor is larger than " + std::to_string(kMaxDescriptorSize) + " bytes"}};
      case platform::FileError::Kind::kOsError: break;
    }
    // An entry whose metadata cannot be had at all (a directory on the way
    // that may not be searched, a name too long, a loop of links) counts as
    // missing; only one that is there but cannot be read is a read failure.
    if (!platform::path_exists(*path)) return DescriptorFailure{DescriptorMissing{std::move(*path)}};
    return DescriptorFailure{DescriptorReadFailed{*path, error.os.text}};
  }
  if (!platform::is_valid_utf8(*content)) {
    return DescriptorFailure{DescriptorReadFailed{*path, "stream did not contain valid UTF-8"}};
  }

  auto record = read_descriptor(*content);
  if (!record) return DescriptorFailure{DescriptorInvalid{*path, std::move(record.error().text)}};
  if (record->protocol_version != kSupportedDescriptorProtocol) {
    return DescriptorFailure{DescriptorProtocolUnsupported{record->protocol_version}};
  }
  return LoadedDescriptor{std::move(*path), std::move(*record)};
}

protocol::HostError descriptor_failure_error(const DescriptorFailure& failure) {
  return std::visit(
      Overloaded{
          [](const DescriptorMissing&) {
            return protocol::HostError{"runtime_descriptor_missing", "Runtime connection descriptor was not found."};
          },
          [](const DescriptorHomeUnresolved&) {
            return protocol::HostError{"orvix_home_unresolved", "ORVIX_HOME could not be resolved."};
          },
          [](const DescriptorReadFailed& f) {
            return protocol::HostError{"runtime_descriptor_read_failed", f.text};
          },
          [](const DescriptorInvalid& f) {
            return protocol::HostError{"runtime_descriptor_invalid", f.text};
          },
          [](const DescriptorProtocolUnsupported& f) {
            return protocol::HostError{
                "runtime_descriptor_protocol_unsupported",
                "Runtime descriptor protocol version is not supported: " + std::to_string(f.version)};
          },
      },
      failure);
}

std::string_view descriptor_failure_state(const DescriptorFailure& failure) {
  return std::visit(Overloaded{
                        [](const DescriptorMissing&) { return "not_running"; },
                        [](const DescriptorHomeUnresolved&) { return "not_running"; },
                        [](const DescriptorReadFailed&) { return "unreachable"; },
                        [](const DescriptorInvalid&) { return "unreachable"; },
                        [](const DescriptorProtocolUnsupported&) { return "version_mismatch"; },
                    },
                    failure);
}

const std::string* descriptor_failure_path(const DescriptorFailure& failure) {
  if (auto* f = std::get_if<DescriptorMissing>(&failure)) return &f->path;
  if (auto* f = std::get_if<DescriptorReadFailed>(&failure)) return &f->path;
  if (auto* f = std::get_if<DescriptorInvalid>(&failure)) return &f->path;
  return nullptr;
}

}  // namespace orvix::discovery
