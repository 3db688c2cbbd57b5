#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>

#include "platform/posix/write_all_posix.h"
#include "support/child_process_calls.h"
#include "support/posix/retry_posix.h"

extern char** environ;

namespace orvix::support::child_process_calls {

namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

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
Result<bool> wait_readable(int fd, ReadTimeout timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = timeout ? Clock::now() + *timeout : Clock::time_point::max();
  for (;;) {
    int wait_ms = -1;
    if (timeout) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      wait_ms = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd entry{fd, POLLIN, 0};
    int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return system_failure(errno);
  }
}

// write() with SIGPIPE blocked on this thread, so a closed reader shows up as
// EPIPE instead of killing the process. A SIGPIPE raised by this write is
// consumed before the mask is restored; one that was already pending is left.
// The write may raise it and still report bytes: a write that took part of
// its bytes and then waited for room sees the reader go, and returns the
// count.
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
  if (!was_pending) {
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
  // ours), enters `directory` (empty: stays in ours), resets its signals and,
  // with `own_group`, makes it lead a process group of its own. Returns 0 or
  // the first step's error number.
  int prepare(int child_stdin, int child_stdout, int child_stderr, const std::string& directory, bool own_group) {
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
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
      // Group 0: the child's own id, set before it runs anything, so nothing
      // it starts can escape into ours.
      if (int code = posix_spawnattr_setpgroup(&attributes_, 0); code != 0) return code;
      flags |= POSIX_SPAWN_SETPGROUP;
    }
    return posix_spawnattr_setflags(&attributes_, flags);
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

Failure broken_pipe() { return system_failure(EPIPE); }

Result<Pipe> make_pipe(bool) {
  // Both ends close on exec; the spawn's dup2 onto 0, 1 or 2 clears that
  // for the child's copy alone.
  int ends[2];
#if defined(__linux__)
  if (::pipe2(ends, O_CLOEXEC) != 0) return system_failure(errno);
  return Pipe{platform::OwnedHandle(ends[0]), platform::OwnedHandle(ends[1])};
#else
  // macOS has no pipe2; the tools and tests spawn from one thread, so the
  // window before FD_CLOEXEC is set cannot leak into another child.
  if (::pipe(ends) != 0) return system_failure(errno);
  Pipe pipe{platform::OwnedHandle(ends[0]), platform::OwnedHandle(ends[1])};
  auto close_on_exec = [](int fd) {
    return posix::retry_interrupted([fd] { return ::fcntl(fd, F_SETFD, FD_CLOEXEC); });
  };
  if (close_on_exec(ends[0]) != 0 || close_on_exec(ends[1]) != 0) {
    return system_failure(errno);
  }
  return pipe;
#endif
}

Result<Process> start(const ChildOptions& options, std::intptr_t child_stdin, std::intptr_t child_stdout,
                      std::intptr_t child_stderr) {
  SpawnSetup setup;
  if (int code = setup.prepare(fd_of(child_stdin), fd_of(child_stdout), fd_of(child_stderr), options.working_directory,
                               options.own_process_group);
      code != 0) {
    return system_failure(code);
  }
  std::vector<std::string> argv_texts = options.argv;
  std::vector<char*> argv = pointers_to(argv_texts);
  std::vector<std::string> environment_texts = child_environment(options);
  std::vector<char*> envp = pointers_to(environment_texts);

  pid_t pid = -1;
  int spawned = EINTR;
  while (spawned == EINTR) {
    spawned = posix_spawnp(&pid, argv[0], setup.actions(), setup.attributes(), argv.data(), envp.data());
  }
  if (spawned != 0) return system_failure(spawned);
  return Process{pid, options.own_process_group, platform::OwnedHandle(), platform::OwnedHandle()};
}

Result<std::size_t> read_some(std::intptr_t pipe, char* data, std::size_t size, ReadTimeout timeout) {
  auto readable = wait_readable(fd_of(pipe), timeout);
  if (!readable) return readable.error();
  if (!*readable) return Failure(Failure::Kind::kPeer, "timed out");
  for (;;) {
    ssize_t got = ::read(fd_of(pipe), data, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return system_failure(errno);
  }
}

Result<void> write_all(std::intptr_t pipe, std::string_view bytes) {
  std::size_t written = 0;
  auto result = platform::posix::write_all(fd_of(pipe), bytes, written, &write_without_sigpipe);
  if (!result) return Failure(Failure::Kind::kSystem, std::move(result.error().text));
  return {};
}

Result<ExitStatus> wait_for(Process& process) {
  int status = 0;
  while (::waitpid(process.pid, &status, 0) < 0) {
    if (errno != EINTR) return system_failure(errno);
  }
  if (WIFSIGNALED(status)) return ExitStatus{true, WTERMSIG(status)};
  return ExitStatus{false, WEXITSTATUS(status)};
}

void kill_and_reap(Process& process) {
  if (process.pid <= 0) return;
  // The group outlives its leader while a member is left, so its id is not
  // reused before every member has gone.
  ::kill(process.group ? -process.pid : process.pid, SIGKILL);
  while (::waitpid(process.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace orvix::support::child_process_calls
