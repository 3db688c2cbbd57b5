// What a child process does alike on every platform: which pipe end goes
// where, the read loops, waiting only once. The system calls are in
// child_process_calls.h.
#include "support/child_process.h"

#include "platform/os_error.h"
#include "support/child_process_calls.h"

namespace orvix::support {

namespace calls = child_process_calls;

namespace {

// Everything from `pipe` until its end (an empty text when it is not open).
Result<std::string> read_to_end(const platform::OwnedHandle& pipe, ReadTimeout timeout) {
  std::string all;
  if (!pipe.is_open()) return all;
  char chunk[16384];
  for (;;) {
    auto got = calls::read_some(pipe.get(), chunk, sizeof chunk, timeout);
    if (!got) return got.error();
    if (*got == 0) return all;
    all.append(chunk, *got);
  }
}

}  // namespace

Failure calls::system_failure(int code) {
  return Failure(Failure::Kind::kSystem, platform::os_error_from_code(code).text);
}

struct ChildProcess::State {
  calls::Process process;
  platform::OwnedHandle stdin_pipe;
  platform::OwnedHandle stdout_pipe;
  platform::OwnedHandle stderr_pipe;
  bool reaped = false;

  ~State() {
    // Closed first, so that a child blocked on them sees the end.
    stdin_pipe.reset();
    stdout_pipe.reset();
    stderr_pipe.reset();
    if (!reaped) calls::kill_and_reap(process);
  }
};

ChildProcess::ChildProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

Result<ChildProcess> ChildProcess::spawn(const ChildOptions& options) {
  if (options.argv.empty() && options.windows_command_line.empty())
    return Failure(Failure::Kind::kInvalidInput, "no program to start");
  // The child's ends are closed here when this returns, started or not.
  auto in = calls::make_pipe(/*child_reads=*/true);
  if (!in) return in.error();
  auto out = calls::make_pipe(/*child_reads=*/false);
  if (!out) return out.error();
  // Without a pipe of its own, the child's stderr is this process's.
  auto err = options.pipe_stderr ? calls::make_pipe(/*child_reads=*/false) : Result<calls::Pipe>(calls::Pipe{});
  if (!err) return err.error();

  auto process = calls::start(options, in->read_end.get(), out->write_end.get(), err->write_end.get());
  if (!process) return process.error();
  auto state = std::make_unique<State>();
  state->process = std::move(*process);
  state->stdin_pipe = std::move(in->write_end);
  state->stdout_pipe = std::move(out->read_end);
  state->stderr_pipe = std::move(err->read_end);
  return ChildProcess(std::move(state));
}

int ChildProcess::pid() const { return state_->process.pid; }

Result<void> ChildProcess::write_all(std::string_view bytes) {
  if (!state_->stdin_pipe.is_open()) return calls::broken_pipe();
  return calls::write_all(state_->stdin_pipe.get(), bytes);
}

Result<std::size_t> ChildProcess::read_exact(std::span<char> buffer, ReadTimeout timeout) {
  std::size_t filled = 0;
  if (!state_->stdout_pipe.is_open()) return filled;
  while (filled < buffer.size()) {
    auto got = calls::read_some(state_->stdout_pipe.get(), buffer.data() + filled, buffer.size() - filled, timeout);
    if (!got) return got.error();
    if (*got == 0) break;
    filled += *got;
  }
  return filled;
}

Result<std::string> ChildProcess::read_stdout_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stdout_pipe, timeout);
}

Result<std::string> ChildProcess::read_stderr_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stderr_pipe, timeout);
}

void ChildProcess::close_stdin() { state_->stdin_pipe.reset(); }

void ChildProcess::close_stdout() { state_->stdout_pipe.reset(); }

Result<ExitStatus> ChildProcess::wait() {
  close_stdin();
  if (state_->reaped) return Failure(Failure::Kind::kInvalidInput, "the child was already waited for");
  auto status = calls::wait_for(state_->process);
  if (status) state_->reaped = true;
  return status;
}

void ChildProcess::end() {
  if (state_->reaped) return;
  calls::kill_and_reap(state_->process);
  state_->reaped = true;
}

}  // namespace orvix::support
