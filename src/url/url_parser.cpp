// The basic URL parser as a state machine over the bytes of the cleaned-up
// input, one state per syntactic position. Without a base URL, every
// relative reference fails, which keeps the file and path states short.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/utf8.h"
#include "url/code_points.h"
#include "url/host_parser.h"
#include "url/path_segments.h"
#include "url/percent_encode.h"
#include "url/special_schemes.h"
#include "url/url.h"
#include "url/url_errors.h"

namespace orvix::url {

namespace {

constexpr int kEof = -1;

enum class State {
  scheme_start,
  scheme,
  no_scheme,
  special_authority_slashes,
  special_authority_ignore_slashes,
  path_or_authority,
  authority,
  host,
  port,
  file,
  file_slash,
  file_host,
  path_start,
  path,
  opaque_path,
  query,
  fragment,
};

// Leading and trailing C0 controls and spaces go, and so does every tab and
// newline: URLs pasted or wrapped across lines still parse.
std::string clean_input(std::string_view input) {
  while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20) input.remove_prefix(1);
  while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
  std::string out;
  out.reserve(input.size());
  for (const char c : input) {
    if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
  }
  return out;
}

class Parser {
 public:
  explicit Parser(std::string input) : input_(std::move(input)) {}

  Result<Url> run() {
    const auto end = static_cast<std::ptrdiff_t>(input_.size());
    for (;;) {
      const int c = pointer_ < end ? static_cast<unsigned char>(input_[pointer_]) : kEof;
      if (!step(c)) return url_error(error_);
      if (pointer_ >= end) break;
      ++pointer_;
    }
    if (!opaque_path_) url_.path = serialize_path(path_);
    return std::move(url_);
  }

 private:
  bool fail(std::string_view description) {
    error_ = description;
    return false;
  }

  bool special() const { return special_; }

  // The input after the current character.
  std::string_view remaining() const { return std::string_view(input_).substr(static_cast<std::size_t>(pointer_) + 1); }

  // Switches state and has the new state read the current character again.
  void reconsume_in(State state) {
    state_ = state;
    --pointer_;
  }

  // Starts the query at '?' or the fragment at '#'; false for anything else.
  bool start_query_or_fragment(int c) {
    if (c == '?') {
      url_.query.emplace();
      state_ = State::query;
    } else if (c == '#') {
      url_.fragment.emplace();
      state_ = State::fragment;
    } else {
      return false;
    }
    return true;
  }

  // A character that ends the authority (and host and port) of a URL.
  bool ends_authority(int c) const { return c == kEof || c == '/' || c == '?' || c == '#' || (special() && c == '\\'); }

  bool step(int c) {
    switch (state_) {
      case State::scheme_start: return scheme_start(c);
      case State::scheme: return scheme(c);
      case State::no_scheme: return fail(kRelativeWithoutBase);
      case State::special_authority_slashes: return special_authority_slashes(c);
      case State::special_authority_ignore_slashes: return special_authority_ignore_slashes(c);
      case State::path_or_authority: return path_or_authority(c);
      case State::authority: return authority(c);
      case State::host: return host(c);
      case State::port: return port(c);
      case State::file: return file(c);
      case State::file_slash: return file_slash(c);
      case State::file_host: return file_host(c);
      case State::path_start: return path_start(c);
      case State::path: return path(c);
      case State::opaque_path: return opaque_path(c);
      case State::query: return query(c);
      case State::fragment: return fragment(c);
    }
    return fail(kRelativeWithoutBase);
  }

  bool scheme_start(int c) {
    if (c != kEof && is_ascii_alpha(c)) {
      buffer_.push_back(static_cast<char>(ascii_lower(c)));
      state_ = State::scheme;
    } else {
      reconsume_in(State::no_scheme);
    }
    return true;
  }

  bool scheme(int c) {
    if (c != kEof && (is_ascii_alphanumeric(c) || c == '+' || c == '-' || c == '.')) {
      buffer_.push_back(static_cast<char>(ascii_lower(c)));
    } else if (c == ':') {
      url_.scheme = std::move(buffer_);
      buffer_.clear();
      special_ = is_special_scheme(url_.scheme);
      if (url_.scheme == "file") {
        state_ = State::file;
      } else if (special()) {
        state_ = State::special_authority_slashes;
      } else if (remaining().starts_with('/')) {
        state_ = State::path_or_authority;
        ++pointer_;
      } else {
        opaque_path_ = true;
        state_ = State::opaque_path;
      }
    } else {
      // Not a scheme after all: read the input again as a relative reference.
      buffer_.clear();
      state_ = State::no_scheme;
      pointer_ = -1;
    }
    return true;
  }

  bool special_authority_slashes(int c) {
    state_ = State::special_authority_ignore_slashes;
    if (c == '/' && remaining().starts_with('/')) {
      ++pointer_;
    } else {
      --pointer_;
    }
    return true;
  }

  bool special_authority_ignore_slashes(int c) {
    if (c != '/' && c != '\\') reconsume_in(State::authority);
    return true;
  }

  bool path_or_authority(int c) {
    if (c == '/') {
      state_ = State::authority;
    } else {
      reconsume_in(State::path);
    }
    return true;
  }

  // Collects up to the last '@' as credentials, then rewinds for the host.
  bool authority(int c) {
    if (c == '@') {
      if (at_sign_seen_) buffer_.insert(0, "%40");
      at_sign_seen_ = true;
      for (const char b : buffer_) {
        if (b == ':' && !password_token_seen_) {
          password_token_seen_ = true;
          continue;
        }
        append_percent_encoded(password_token_seen_ ? url_.password : url_.username, static_cast<unsigned char>(b),
                               EncodeSet::userinfo);
      }
      buffer_.clear();
    } else if (ends_authority(c)) {
      if (at_sign_seen_ && buffer_.empty()) return fail(kEmptyHost);
      pointer_ -= static_cast<std::ptrdiff_t>(buffer_.size()) + 1;
      buffer_.clear();
      state_ = State::host;
    } else {
      buffer_.push_back(static_cast<char>(c));
    }
    return true;
  }

  bool set_host_from_buffer() {
    auto parsed = parse_host(buffer_, !special());
    if (!parsed) return fail(parsed.error().text);
    url_.host = std::move(*parsed);
    buffer_.clear();
    return true;
  }

  bool host(int c) {
    if (c == ':' && !inside_brackets_) {
      if (buffer_.empty()) return fail(kEmptyHost);
      if (!set_host_from_buffer()) return false;
      state_ = State::port;
    } else if (ends_authority(c)) {
      --pointer_;
      if (special() && buffer_.empty()) return fail(kEmptyHost);
      if (!set_host_from_buffer()) return false;
      state_ = State::path_start;
    } else {
      if (c == '[') inside_brackets_ = true;
      if (c == ']') inside_brackets_ = false;
      buffer_.push_back(static_cast<char>(c));
    }
    return true;
  }

  bool port(int c) {
    if (c != kEof && is_ascii_digit(c)) {
      // Past 65535 the exact value no longer matters; capping keeps long
      // digit strings from overflowing.
      port_value_ = std::min<std::uint32_t>(port_value_ * 10 + (c - '0'), 65536);
      buffer_.push_back(static_cast<char>(c));
    } else if (ends_authority(c)) {
      if (!buffer_.empty()) {
        if (port_value_ > 65535) return fail(kInvalidPort);
        const auto value = static_cast<std::uint16_t>(port_value_);
        if (default_port(url_.scheme) == value) {
          url_.port.reset();
        } else {
          url_.port = value;
        }
        buffer_.clear();
      }
      reconsume_in(State::path_start);
    } else {
      return fail(kInvalidPort);
    }
    return true;
  }

  bool file(int c) {
    url_.host = "";
    if (c == '/' || c == '\\') {
      state_ = State::file_slash;
    } else {
      reconsume_in(State::path);
    }
    return true;
  }

  bool file_slash(int c) {
    if (c == '/' || c == '\\') {
      state_ = State::file_host;
    } else {
      reconsume_in(State::path);
    }
    return true;
  }

  bool file_host(int c) {
    if (c != kEof && c != '/' && c != '\\' && c != '?' && c != '#') {
      buffer_.push_back(static_cast<char>(c));
      return true;
    }
    --pointer_;
    if (is_windows_drive_letter(buffer_)) {
      // "file://C:/x" names a drive, not a host: the buffer becomes the
      // first path segment.
      state_ = State::path;
    } else if (buffer_.empty()) {
      url_.host = "";
      state_ = State::path_start;
    } else {
      if (!set_host_from_buffer()) return false;
      if (url_.host == "localhost") url_.host = "";
      state_ = State::path_start;
    }
    return true;
  }

  bool path_start(int c) {
    if (special()) {
      state_ = State::path;
      if (c != '/' && c != '\\') --pointer_;
    } else if (!start_query_or_fragment(c) && c != kEof) {
      state_ = State::path;
      if (c != '/') --pointer_;
    }
    return true;
  }

  bool path(int c) {
    const bool slash = c == '/' || (special() && c == '\\');
    if (!(c == kEof || slash || c == '?' || c == '#')) {
      append_percent_encoded(buffer_, static_cast<unsigned char>(c), EncodeSet::path);
      return true;
    }
    const bool file_scheme = url_.scheme == "file";
    if (is_double_dot_segment(buffer_)) {
      shorten_path(path_, file_scheme);
      if (!slash) path_.emplace_back();
    } else if (is_single_dot_segment(buffer_)) {
      if (!slash) path_.emplace_back();
    } else {
      if (file_scheme && path_.empty() && is_windows_drive_letter(buffer_)) buffer_[1] = ':';
      path_.push_back(std::move(buffer_));
    }
    buffer_.clear();
    start_query_or_fragment(c);
    return true;
  }

  bool opaque_path(int c) {
    if (start_query_or_fragment(c) || c == kEof) return true;
    if (c == ' ') {
      // A space right before the query or fragment is encoded so that the
      // path does not end in a space, which would not survive re-parsing.
      const std::string_view rest = remaining();
      url_.path += rest.starts_with('?') || rest.starts_with('#') ? "%20" : " ";
    } else {
      append_percent_encoded(url_.path, static_cast<unsigned char>(c), EncodeSet::c0_control);
    }
    return true;
  }

  bool query(int c) {
    if (c == '#') {
      url_.fragment.emplace();
      state_ = State::fragment;
    } else if (c != kEof) {
      append_percent_encoded(*url_.query, static_cast<unsigned char>(c),
                             special() ? EncodeSet::special_query : EncodeSet::query);
    }
    return true;
  }

  bool fragment(int c) {
    if (c != kEof) append_percent_encoded(*url_.fragment, static_cast<unsigned char>(c), EncodeSet::fragment);
    return true;
  }

  std::string input_;
  std::ptrdiff_t pointer_ = 0;
  State state_ = State::scheme_start;
  std::string buffer_;
  std::string error_;
  Url url_;
  bool special_ = false;
  bool at_sign_seen_ = false;
  bool password_token_seen_ = false;
  bool inside_brackets_ = false;
  std::uint32_t port_value_ = 0;
  bool opaque_path_ = false;
  std::vector<std::string> path_;  // segments, when the path is not opaque
};

}  // namespace

Result<Url> parse_url(std::string_view input) {
  if (!is_valid_utf8(input)) return url_error(kInvalidUtf8);
  return Parser(clean_input(input)).run();
}

}  // namespace orvix::url
