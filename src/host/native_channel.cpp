#include "host/native_channel.h"

#include <algorithm>
#include <cstring>

#include "host/native_frame.h"
#include "json/parse.h"
#include "json/serialize.h"

namespace orvix::host {

namespace {
Failure invalid(std::string text) { return Failure(Failure::Kind::kInvalidInput, std::move(text)); }
Failure os_failure(const platform::OsError& error) { return Failure(Failure::Kind::kSystem, error.text); }

constexpr const char* kIncomingTooLarge = "Native message exceeds the maximum supported size.";
constexpr const char* kOutgoingTooLarge = "Native response exceeds the maximum supported size.";
constexpr const char* kBodyCutShort = "failed to fill whole buffer";
constexpr const char* kNotJson = "Native message is not valid JSON: ";

// What a reply may add to the request it answers (an error's members around
// an echoed id) without its buffer moving.
constexpr std::size_t kReplyMargin = 4096;
}  // namespace

NativeChannel::NativeChannel(ByteSource& input, ByteSink& output)
    : input_(input), output_(output), in_buffer_(new char[kStreamBufferSize]) {}

Result<NativeChannel::Fill> NativeChannel::read_exact(char* destination, std::size_t size) {
  while (size > 0) {
    if (in_pos_ == in_end_) {
      // A read as large as the buffer bypasses it, straight into the destination.
      const bool direct = size >= kStreamBufferSize;
      auto got = direct ? input_.read_some(destination, size) : input_.read_some(in_buffer_.get(), kStreamBufferSize);
      if (!got) return os_failure(got.error());
      if (*got == 0) return Fill::kEnded;
      if (direct) {
        destination += *got;
        size -= *got;
        continue;
      }
      in_pos_ = 0;
      in_end_ = *got;
    }
    const std::size_t take = std::min(size, in_end_ - in_pos_);
    std::memcpy(destination, in_buffer_.get() + in_pos_, take);
    in_pos_ += take;
    destination += take;
    size -= take;
  }
  return Fill::kComplete;
}

ReadOutcome NativeChannel::read_native_message() {
  // The previous request is gone: its arena goes with it (the blocks stay).
  arena_.reset();
  unsigned char length_bytes[kLengthSize];
  if (in_end_ - in_pos_ >= kLengthSize) {
    std::memcpy(length_bytes, in_buffer_.get() + in_pos_, kLengthSize);
    in_pos_ += kLengthSize;
  } else {
    auto header = read_exact(reinterpret_cast<char*>(length_bytes), kLengthSize);
    if (!header) return header.error();
    if (*header == Fill::kEnded) return EndOfInput{};
  }

  const std::uint32_t length = decode_length(length_bytes);
  if (length > kMaxBodySize) return invalid(kIncomingTooLarge);

  // A body that the input buffer holds whole is parsed where it lies: the
  // value keeps copies of what it needs, so the buffer may take the next
  // bytes afterwards.
  if (in_end_ - in_pos_ >= length) {
    const char* const body = in_buffer_.get() + in_pos_;
    in_pos_ += length;
    return parse_body(body, length);
  }
  // Else it is read where the reply will go, idle until the value is built:
  // a large request costs one buffer besides its value rather than two.
  // Room for a reply a little larger than the request is reserved, not
  // touched, so that writing it moves nothing.
  if (frame_.capacity() < length + kReplyMargin) frame_.reserve(length + kReplyMargin);
  if (frame_.size() < length) frame_.resize(length);
  auto filled = read_exact(frame_.data(), length);
  if (!filled) return filled.error();
  if (*filled == Fill::kEnded) return Failure(Failure::Kind::kPeer, kBodyCutShort);
  return parse_body(frame_.data(), length);
}

ReadOutcome NativeChannel::parse_body(const char* body, std::size_t length) {
  auto parsed = json::parse_json(std::string_view(body, length), boost::json::storage_ptr(&arena_));
  if (!parsed) return invalid(kNotJson + parsed.error().text);
  return std::move(*parsed);
}

Result<void> NativeChannel::write_native_message(const json::Value& reply) {
  json::CompactWriter writer(frame_, kLengthSize, json::CompactWriter::KeepScratch{});
  writer.value(reply);
  return send_frame(writer.size());
}

Result<void> NativeChannel::write_native_message(const protocol::Reply& reply) {
  json::CompactWriter writer(frame_, kLengthSize, json::CompactWriter::KeepScratch{});
  reply.write(writer);
  return send_frame(writer.size());
}

Result<void> NativeChannel::send_frame(std::size_t end) {
  const std::size_t body_size = end - kLengthSize;
  if (body_size > kMaxBodySize) {
    std::string().swap(frame_);
    return invalid(kOutgoingTooLarge);
  }
  pending_begin_ = 0;
  encode_length(static_cast<std::uint32_t>(body_size), reinterpret_cast<unsigned char*>(frame_.data()));
  pending_end_ = end;
  if (auto sent = send_pending(); !sent) return sent;
  if (auto flushed = output_.flush(); !flushed) return os_failure(flushed.error());
  return {};
}

Result<void> NativeChannel::send_pending() {
  std::size_t written = 0;
  auto result = output_.write_all(frame_.data() + pending_begin_, pending_end_ - pending_begin_, written);
  // Keep the place of what did not go out, so release_output() can offer it once more.
  pending_begin_ += written;
  if (!result) return os_failure(result.error());
  return {};
}

void NativeChannel::release_output() {
  if (pending_begin_ < pending_end_) (void)send_pending();
}

}  // namespace orvix::host
