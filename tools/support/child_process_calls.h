// The calls a child process makes differently on POSIX and Windows, beneath
// child_process.cpp, which holds what both share (the pipes' bookkeeping,
// the read loops, waiting once). Internal to tools/support;
// child_process_posix.cpp and child_process_win32.cpp define them.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/owned_handle.h"
#include "support/child_process.h"

namespace orvix::support::child_process_calls {

// A pipe whose end for the child alone may be inherited.
struct Pipe {
  platform::OwnedHandle read_end;
  platform::OwnedHandle write_end;
};
[[nodiscard]] Result<Pipe> make_pipe(bool child_reads);

// A started child: its id, and on Windows the handle that waits for it and
// the job object that holds it and every process it starts (a host started
// through cmd.exe is cmd's child: killing cmd alone would leave it running).
struct Process {
  int pid = 0;
  bool group = false;  // POSIX: the child leads a process group of its own
  platform::OwnedHandle handle;
  platform::OwnedHandle job;  // Windows; kNone when the system refused a job
};

// Starts the child with the given ends as its stdin, stdout and stderr
// (OwnedHandle::kNone for stderr: this process's own).
[[nodiscard]] Result<Process> start(const ChildOptions& options, std::intptr_t child_stdin, std::intptr_t child_stdout,
                                    std::intptr_t child_stderr);

// Reads once from `pipe` within `timeout`: the bytes read, 0 at the end of
// the stream, a kPeer "timed out" when nothing arrived in time.
[[nodiscard]] Result<std::size_t> read_some(std::intptr_t pipe, char* data, std::size_t size, ReadTimeout timeout);

// Writes every byte to `pipe`.
[[nodiscard]] Result<void> write_all(std::intptr_t pipe, std::string_view bytes);

// Waits for the child to end and reaps it.
[[nodiscard]] Result<ExitStatus> wait_for(Process& process);

// Ends the child at once (with its process group or job: whatever it
// started that is still there) and reaps it.
void kill_and_reap(Process& process);

// A kSystem failure with the system's text for `code` (child_process.cpp).
Failure system_failure(int code);

// What a write to a pipe whose reader has gone fails with.
Failure broken_pipe();

}  // namespace orvix::support::child_process_calls
