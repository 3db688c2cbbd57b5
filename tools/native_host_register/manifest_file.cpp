#include "manifest_file.h"

#include "platform/filesystem.h"

namespace orvix::register_tool {

Checked<std::string> read_manifest_file(const std::string& path) {
  auto content = platform::read_regular_file(path, kManifestLimit);
  if (content) return {boost::system::in_place_value, std::move(*content)};
  std::string reason;
  switch (content.error().kind) {
    case platform::FileError::Kind::kNotRegular:
      reason = "it is not a regular file";
      break;
    case platform::FileError::Kind::kTooLarge:
      reason = "it is larger than " + std::to_string(kManifestLimit) + " bytes";
      break;
    default:
      reason = content.error().os.text;
  }
  return Refusal{"Cannot read " + path + ": " + reason + "."};
}

}  // namespace orvix::register_tool
