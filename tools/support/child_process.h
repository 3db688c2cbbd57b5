// A child process whose stdin and stdout (and optionally stderr) are pipes
// held by this process.
//
// spawn() starts argv[0] (searched in PATH when it has no separator) with the
// parent's environment plus the given overrides, in the given working
// directory; it fails with the OS text (kSystem) when the program cannot be
// started (or the directory cannot be entered). Every other call blocks the
// calling thread: reads wait for data up to an optional timeout (none = no
// limit; one that passes is a kPeer failure, "timed out"), writes until all
// bytes are taken. A write to a child that has closed its stdin fails with
// the "broken pipe" error (kSystem); it never raises SIGPIPE.
//
// The object owns the pipes and the process. Destroying it before wait()
// closes the pipes, kills the child (SIGKILL) and reaps it, so no process
// outlives a forgotten handle; on Windows whatever the child started goes
// with it (a job object holds them all), since there a program is often
// started through cmd.exe. On POSIX the same holds for a child started with
// `own_process_group`: the kill goes to its whole process group. Move-only; not safe for concurrent use except
// that stdin and stdout may be driven from two different threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace orvix::support {

struct ChildOptions {
  std::vector<std::string> argv;  // argv[0] is the program
  // Windows: when not empty, the command line given to CreateProcessW as
  // written, and argv is unused. Quoting argv word by word cannot produce
  // every line (cmd.exe's "/c ""<program>" <args>"" form among them).
  // Ignored elsewhere.
  std::string windows_command_line;
  std::string working_directory;  // empty: this process's
  // Variables set (value) or removed (nullopt) in the child's environment.
  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
  bool pipe_stderr = false;  // else the child writes to this process's stderr
  // POSIX: the child leads a process group of its own, which it and what it
  // starts share, so that ending the child ends them all (a host that is a
  // script starting the real program). Not for a child meant to get the
  // terminal's signals (Ctrl+C) with this process. Windows: the job object
  // does this for every child.
  bool own_process_group = false;
};

// How the child ended: an exit code, or the signal that killed it.
struct ExitStatus {
  bool signalled = false;
  int code = 0;  // exit code, or the signal number when `signalled`

  bool success() const { return !signalled && code == 0; }
  // The shell's convention: the exit code, or 128 + signal.
  int as_shell_status() const { return signalled ? 128 + code : code; }
};

using ReadTimeout = std::optional<std::chrono::milliseconds>;

class ChildProcess {
 public:
  [[nodiscard]] static Result<ChildProcess> spawn(const ChildOptions& options);

  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ~ChildProcess();

  int pid() const;

  // Writes every byte to the child's stdin.
  [[nodiscard]] Result<void> write_all(std::string_view bytes);

  // Fills `buffer` from the child's stdout; returns how many bytes arrived,
  // which is less than buffer.size() only when the child closed its stdout.
  [[nodiscard]] Result<std::size_t> read_exact(std::span<char> buffer, ReadTimeout timeout = std::nullopt);

  // Everything the child writes to stdout until it closes it.
  [[nodiscard]] Result<std::string> read_stdout_to_end(ReadTimeout timeout = std::nullopt);

  // Everything the child writes to stderr until it closes it (pipe_stderr only;
  // empty otherwise).
  [[nodiscard]] Result<std::string> read_stderr_to_end(ReadTimeout timeout = std::nullopt);

  // Signals end of input to the child. Idempotent.
  void close_stdin();
  // Stops reading the child's output: its further writes to stdout fail. Idempotent.
  void close_stdout();

  // Closes stdin, then waits for the child to end and reaps it.
  [[nodiscard]] Result<ExitStatus> wait();

  // Ends the child now, with what its process group (own_process_group) or
  // job holds, and reaps it; wait() then fails. Its pipes stay open, so what
  // it wrote before can still be read. Idempotent.
  void end();

 private:
  struct State;
  explicit ChildProcess(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace orvix::support
