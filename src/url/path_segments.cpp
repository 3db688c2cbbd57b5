#include "url/path_segments.h"

#include "url/code_points.h"

namespace orvix::url {

namespace {

bool is_encoded_dot(std::string_view text) {
  return text.size() == 3 && text[0] == '%' && text[1] == '2' && (text[2] | 0x20) == 'e';
}

bool is_dot(std::string_view text) { return text == "." || is_encoded_dot(text); }

}  // namespace

bool is_single_dot_segment(std::string_view segment) { return is_dot(segment); }

bool is_double_dot_segment(std::string_view segment) {
  if (segment == "..") return true;
  for (const std::size_t split : {std::size_t{1}, std::size_t{3}}) {
    if (segment.size() > split && is_dot(segment.substr(0, split)) && is_dot(segment.substr(split))) return true;
  }
  return false;
}

bool is_windows_drive_letter(std::string_view segment) {
  return segment.size() == 2 && is_ascii_alpha(segment[0]) && (segment[1] == ':' || segment[1] == '|');
}

bool is_normalized_windows_drive_letter(std::string_view segment) {
  return is_windows_drive_letter(segment) && segment[1] == ':';
}

void shorten_path(std::vector<std::string>& segments, bool file_scheme) {
  if (file_scheme && segments.size() == 1 && is_normalized_windows_drive_letter(segments[0])) return;
  if (!segments.empty()) segments.pop_back();
}

std::string serialize_path(const std::vector<std::string>& segments) {
  std::string out;
  for (const std::string& segment : segments) {
    out.push_back('/');
    out += segment;
  }
  return out;
}

}  // namespace orvix::url
