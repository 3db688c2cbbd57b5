// Reading a manifest file from disk, for install (what is there now) and
// doctor (what the browser will read). Manifests are small: anything above
// kManifestLimit, or anything that is not a regular file, is refused.
#pragma once

#include <cstddef>
#include <string>

#include "refusal.h"

namespace orvix::register_tool {

inline constexpr std::size_t kManifestLimit = 1024 * 1024;

// The file's content, or why it cannot be read: "Cannot read <path>: <reason>."
[[nodiscard]] Checked<std::string> read_manifest_file(const std::string& path);

}  // namespace orvix::register_tool
