#include "discovery/runtime_descriptor.h"

#include "base/utf8.h"
#include "discovery/product_home.h"
#include "platform/filesystem.h"

namespace orvix::discovery {

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;
}  // namespace

Result<RuntimeConnectionDescriptor, DescriptorFailure> load_runtime_descriptor(std::string& path) {
  if (!resolve_descriptor_path(path)) return DescriptorFailure{DescriptorHomeUnresolved{}};

  // Opened straight away: "not found" is learnt from the open itself, so a
  // file that appears or vanishes meanwhile cannot fall between two steps.
  auto content = platform::read_regular_file(path, kMaxDescriptorSize);
  if (!content) {
    const platform::FileError& error = content.error();
    switch (error.kind) {
      case platform::FileError::Kind::kNotFound: return DescriptorFailure{DescriptorMissing{}};
      case platform::FileError::Kind::kNotRegular:
        return DescriptorFailure{DescriptorReadFailed{std::string(kNotRegularText)}};
      case platform::FileError::Kind::kTooLarge:
        return DescriptorFailure{
            DescriptorReadFailed{"descriptor is larger than " + std::to_string(kMaxDescriptorSize) + " bytes"}};
      case platform::FileError::Kind::kOsError: break;
    }
    // An entry whose metadata cannot be had at all (a directory on the way
    // that may not be searched, a name too long, a loop of links) counts as
    // missing; only one that is there but cannot be read is a read failure.
    if (!platform::path_exists(path)) return DescriptorFailure{DescriptorMissing{}};
    return DescriptorFailure{DescriptorReadFailed{error.os.text}};
  }
  if (!is_valid_utf8(*content)) {
    return DescriptorFailure{DescriptorReadFailed{"stream did not contain valid UTF-8"}};
  }

  auto record = read_descriptor(*content);
  if (!record) return DescriptorFailure{DescriptorInvalid{std::move(record.error().text)}};
  if (record->protocol_version != kSupportedDescriptorProtocol) {
    return DescriptorFailure{DescriptorProtocolUnsupported{record->protocol_version}};
  }
  return std::move(*record);
}

Result<LoadedDescriptor, DescriptorFailure> load_runtime_descriptor() {
  LoadedDescriptor loaded;
  auto record = load_runtime_descriptor(loaded.path);
  if (!record) return record.error();
  loaded.record = std::move(*record);
  return loaded;
}

protocol::HostErrorView descriptor_failure_error(const DescriptorFailure& failure, std::string& scratch) {
  return std::visit(Overloaded{
                        [](const DescriptorMissing&) {
                          return protocol::HostErrorView{kMissingCode, kMissingMessage};
                        },
                        [](const DescriptorHomeUnresolved&) {
                          return protocol::HostErrorView{kHomeUnresolvedCode, kHomeUnresolvedMessage};
                        },
                        [](const DescriptorReadFailed& f) {
                          return protocol::HostErrorView{"runtime_descriptor_read_failed", f.text};
                        },
                        [](const DescriptorInvalid& f) {
                          return protocol::HostErrorView{"runtime_descriptor_invalid", f.text};
                        },
                        [&scratch](const DescriptorProtocolUnsupported& f) {
                          scratch =
                              "Runtime descriptor protocol version is not supported: " + std::to_string(f.version);
                          return protocol::HostErrorView{"runtime_descriptor_protocol_unsupported", scratch};
                        },
                    },
                    failure);
}

protocol::HostError descriptor_failure_error(const DescriptorFailure& failure) {
  std::string scratch;
  const protocol::HostErrorView error = descriptor_failure_error(failure, scratch);
  return protocol::HostError{std::string(error.code), std::string(error.message)};
}

std::string_view descriptor_failure_state(const DescriptorFailure& failure) {
  return std::visit(Overloaded{
                        [](const DescriptorMissing&) { return kStateNotRunning; },
                        [](const DescriptorHomeUnresolved&) { return kStateNotRunning; },
                        [](const DescriptorReadFailed&) { return kStateUnreachable; },
                        [](const DescriptorInvalid&) { return kStateUnreachable; },
                        [](const DescriptorProtocolUnsupported&) { return kStateVersionMismatch; },
                    },
                    failure);
}

bool descriptor_failure_names_path(const DescriptorFailure& failure) {
  return std::holds_alternative<DescriptorMissing>(failure) || std::holds_alternative<DescriptorReadFailed>(failure) ||
         std::holds_alternative<DescriptorInvalid>(failure);
}

}  // namespace orvix::discovery
