// The native channel: reading request frames and writing reply frames.
//
// Owns an 8,192-byte input buffer for the life of the channel, and a frame
// buffer that each reply is serialised into behind its length field and
// written from in one write. Frames are read strictly one after another:
//   - the input ending before the 4th length byte is a clean end of input;
//   - a length above 1 MiB fails at once, before any body byte is read;
//   - the input ending inside the body fails with "failed to fill whole buffer"
//     (kind kPeer);
//   - a body that is not one JSON value fails with
//     "Native message is not valid JSON: " and the parser's description.
// A reply is serialised compactly, refused above 1 MiB (nothing written),
// framed, and flushed once: it is whole on the stream when the call returns.
// The size and JSON failures are of kind kInvalidInput; OS failures are of
// kind kSystem and carry the system's text with " (os error N)". There is no
// resynchronisation: after a channel failure the caller stops.
//
// A request value lives in the channel's arena, which the next
// read_native_message() frees at once: write the reply to a request (which
// may refer to it, protocol/replies.h) and discard the request before
// reading the next one. The arena's blocks and the frame buffer are kept
// between messages, so a steady stream allocates nothing new.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.h"
#include "host/byte_stream.h"
#include "json/arena.h"
#include "json/value.h"
#include "protocol/replies.h"

namespace orvix::host {

struct EndOfInput {};

// A request value, the clean end of input, or the channel's failure.
using ReadOutcome = std::variant<json::Value, EndOfInput, Failure>;

class NativeChannel {
 public:
  NativeChannel(ByteSource& input, ByteSink& output);

  ReadOutcome read_native_message();
  [[nodiscard]] Result<void> write_native_message(const json::Value& reply);
  [[nodiscard]] Result<void> write_native_message(const protocol::Reply& reply);

  // Offers whatever a failed write left unsent once more; a failure of that
  // attempt is ignored.
  void release_output();

 private:
  enum class Fill { kComplete, kEnded };
  [[nodiscard]] Result<Fill> read_exact(char* destination, std::size_t size);
  ReadOutcome parse_body(const char* body, std::size_t length);
  // Frames and sends the reply serialised into frame_ behind its length
  // field, up to `end`.
  [[nodiscard]] Result<void> send_frame(std::size_t end);
  [[nodiscard]] Result<void> send_pending();

  ByteSource& input_;
  ByteSink& output_;
  std::unique_ptr<char[]> in_buffer_;
  std::size_t in_pos_ = 0;
  std::size_t in_end_ = 0;
  json::Arena arena_;
  // The length field and the reply behind it. Idle while a request is
  // parsed, it holds a body that the input buffer does not, so that no
  // other buffer as large as the request is needed. Kept at its largest
  // size between replies (the bytes past a reply are scratch), so that a
  // large reply neither faults in fresh pages nor zeroes them every time;
  // dropped when a reply that could not be sent made it huge.
  std::string frame_;
  // What of frame_ is still to go out: [pending_begin_, pending_end_).
  std::size_t pending_begin_ = 0;
  std::size_t pending_end_ = 0;
};

}  // namespace orvix::host
