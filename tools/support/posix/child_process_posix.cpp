#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <map>

#include "platform/os_error.h"
#include "platform/posix/write_all_posix.h"

extern char** environ;

namespace orvix::platform {

namespace {

ChildError os_failure(int code) { return ChildError{false, os_error_from_code(code).text}; }

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The parent's environment with `overrides` applied, as "NAME=value" strings.
std::vector<std::string> child_environment(const ChildOptions& options) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.insert_or_assign(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  for (const auto& [name, value] : options.environment) {
    if (value) {
      variables.insert_or_assign(name, *value);
    } else {
      variables.erase(name);
    }
  }
  std::vector<std::string> joined;
  joined.reserve(variables.size());
  for (const auto& [name, value] : variables) joined.push_back(name + "=" + value);
  return joined;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Waits until `fd` is readable (or at its end). Returns false on timeout.
ChildResult<bool> wait_readable(int fd, ReadTimeout timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = timeout ? Clock::now() + *timeout : Clock::time_point::max();
  for (;;) {
    int wait_ms = -1;
    if (timeout) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return {boost::system::in_place_value, false};
      wait_ms = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd entry{fd, POLLIN, 0};
    int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) return {boost::system::in_place_value, true};
    if (ready < 0 && errno != EINTR) return os_failure(errno);
  }
}

// Reads once; 0 means end of stream.
ChildResult<std::size_t> read_some(int fd, char* data, std::size_t size, ReadTimeout timeout) {
  auto readable = wait_readable(fd, timeout);
  if (!readable) return readable.error();
  if (!*readable) return ChildError{true, "timed out"};
  for (;;) {
    ssize_t got = ::read(fd, data, size);
    if (got >= 0) return {boost::system::in_place_value, static_cast<std::size_t>(got)};
    if (errno != EINTR) return os_failure(errno);
  }
}

ChildResult<std::string> read_to_end(int fd, ReadTimeout timeout) {
  std::string all;
  if (fd < 0) return {boost::system::in_place_value, all};
  char chunk[16384];
  for (;;) {
    auto got = read_some(fd, chunk, sizeof chunk, timeout);
    if (!got) return got.error();
    if (*got == 0) return {boost::system::in_place_value, all};
    all.append(chunk, *got);
  }
}

// write() with SIGPIPE blocked on this thread, so a closed reader shows up as
// EPIPE instead of killing the process. A SIGPIPE raised by this write is
// consumed before the mask is restored; one that was already pending is left.
ssize_t write_without_sigpipe(int fd, const void* data, std::size_t size) {
  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);

  ssize_t written = ::write(fd, data, size);
  const int write_errno = errno;
  if (written < 0 && write_errno == EPIPE && !was_pending) {
    // Consume the signal this write raised: sigwait returns at once for a
    // pending signal (sigtimedwait is not on every POSIX system).
    sigset_t now_pending;
    sigpending(&now_pending);
    if (sigismember(&now_pending, SIGPIPE) == 1) {
      int signal_number = 0;
      sigwait(&pipe_only, &signal_number);
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = write_errno;
  return written;
}

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

ChildResult<Pipe> make_pipe() {
  int ends[2];
#if defined(__linux__)
  if (::pipe2(ends, O_CLOEXEC) != 0) return os_failure(errno);
#else
  // macOS has no pipe2; the tools and tests spawn from one thread, so the
  // window before FD_CLOEXEC is set cannot leak into another child.
  if (::pipe(ends) != 0) return os_failure(errno);
  if (::fcntl(ends[0], F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(ends[1], F_SETFD, FD_CLOEXEC) != 0) {
    const int code = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    return os_failure(code);
  }
#endif
  return Pipe{ends[0], ends[1]};
}

// The file actions and attributes of one spawn; whatever was initialised is
// destroyed with it.
class SpawnSetup {
 public:
  SpawnSetup() = default;
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    if (actions_ready_) posix_spawn_file_actions_destroy(&actions_);
    if (attributes_ready_) posix_spawnattr_destroy(&attributes_);
  }

  // Routes the child's standard descriptors (`child_stderr` < 0: left as
  // ours), enters `directory` (empty: stays in ours) and resets its signals.
  // Returns 0 or the first step's error number.
  int prepare(int child_stdin, int child_stdout, int child_stderr, const std::string& directory) {
    if (int code = posix_spawn_file_actions_init(&actions_); code != 0) return code;
    actions_ready_ = true;
    // dup2 clears close-on-exec on the target, so only these three reach the child.
    if (int code = posix_spawn_file_actions_adddup2(&actions_, child_stdin, STDIN_FILENO); code != 0) return code;
    if (int code = posix_spawn_file_actions_adddup2(&actions_, child_stdout, STDOUT_FILENO); code != 0) return code;
    if (child_stderr >= 0) {
      if (int code = posix_spawn_file_actions_adddup2(&actions_, child_stderr, STDERR_FILENO); code != 0) return code;
    }
    if (!directory.empty()) {
      if (int code = posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str()); code != 0) return code;
    }

    if (int code = posix_spawnattr_init(&attributes_); code != 0) return code;
    attributes_ready_ = true;
    // The child starts with default SIGPIPE handling even if this process
    // ignores it, and with no signal blocked.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    if (int code = posix_spawnattr_setsigdefault(&attributes_, &defaults); code != 0) return code;
    sigset_t empty_mask;
    sigemptyset(&empty_mask);
    if (int code = posix_spawnattr_setsigmask(&attributes_, &empty_mask); code != 0) return code;
    return posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
  bool actions_ready_ = false;
  bool attributes_ready_ = false;
};

}  // namespace

struct ChildProcess::State {
  pid_t pid = -1;
  int stdin_fd = -1;
  int stdout_fd = -1;
  int stderr_fd = -1;
  bool reaped = false;

  ~State() {
    close_fd(stdin_fd);
    close_fd(stdout_fd);
    close_fd(stderr_fd);
    if (pid > 0 && !reaped) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
};

ChildProcess::ChildProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

ChildResult<ChildProcess> ChildProcess::spawn(const ChildOptions& options) {
  if (options.argv.empty()) return ChildError{false, "no program to start"};

  // The parent's ends go into the State at once and the child's ends into
  // child_ends, so every early return below closes what was opened.
  auto state = std::make_unique<State>();
  std::vector<int> child_ends;
  auto close_child_ends = [&] {
    for (int& fd : child_ends) close_fd(fd);
  };

  auto in = make_pipe();
  if (!in) return in.error();
  state->stdin_fd = in->write_end;
  child_ends.push_back(in->read_end);

  auto out = make_pipe();
  if (!out) {
    close_child_ends();
    return out.error();
  }
  state->stdout_fd = out->read_end;
  child_ends.push_back(out->write_end);

  int child_stderr = -1;
  if (options.pipe_stderr) {
    auto err = make_pipe();
    if (!err) {
      close_child_ends();
      return err.error();
    }
    state->stderr_fd = err->read_end;
    child_stderr = err->write_end;
    child_ends.push_back(err->write_end);
  }

  SpawnSetup setup;
  if (int code = setup.prepare(in->read_end, out->write_end, child_stderr, options.working_directory); code != 0) {
    close_child_ends();
    return os_failure(code);
  }

  std::vector<std::string> argv_texts = options.argv;
  std::vector<char*> argv = pointers_to(argv_texts);
  std::vector<std::string> environment_texts = child_environment(options);
  std::vector<char*> envp = pointers_to(environment_texts);

  pid_t pid = -1;
  const int spawn_result = posix_spawnp(&pid, argv[0], setup.actions(), setup.attributes(), argv.data(), envp.data());
  close_child_ends();
  if (spawn_result != 0) return os_failure(spawn_result);

  state->pid = pid;
  return ChildProcess(std::move(state));
}

int ChildProcess::pid() const { return state_->pid; }

ChildResult<void> ChildProcess::write_all(std::string_view bytes) {
  if (state_->stdin_fd < 0) return os_failure(EPIPE);
  std::size_t written = 0;
  auto result = posix::write_all(state_->stdin_fd, bytes, written, &write_without_sigpipe);
  if (!result) return ChildError{false, std::move(result.error().text)};
  return {};
}

ChildResult<std::size_t> ChildProcess::read_exact(std::span<char> buffer, ReadTimeout timeout) {
  std::size_t filled = 0;
  if (state_->stdout_fd < 0) return {boost::system::in_place_value, filled};
  while (filled < buffer.size()) {
    auto got = read_some(state_->stdout_fd, buffer.data() + filled, buffer.size() - filled, timeout);
    if (!got) return got.error();
    if (*got == 0) break;
    filled += *got;
  }
  return {boost::system::in_place_value, filled};
}

ChildResult<std::string> ChildProcess::read_stdout_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stdout_fd, timeout);
}

ChildResult<std::string> ChildProcess::read_stderr_to_end(ReadTimeout timeout) {
  return read_to_end(state_->stderr_fd, timeout);
}

void ChildProcess::close_stdin() { close_fd(state_->stdin_fd); }

void ChildProcess::close_stdout() { close_fd(state_->stdout_fd); }

ChildResult<ExitStatus> ChildProcess::wait() {
  close_stdin();
  if (state_->reaped) return ChildError{false, "the child was already waited for"};
  int status = 0;
  while (::waitpid(state_->pid, &status, 0) < 0) {
    if (errno != EINTR) return os_failure(errno);
  }
  state_->reaped = true;
  if (WIFSIGNALED(status)) return ExitStatus{true, WTERMSIG(status)};
  return ExitStatus{false, WEXITSTATUS(status)};
}

}  // namespace orvix::platform
