// A preload library for black-box tests on Linux: it makes the system refuse
// chosen resources to the program it is loaded into, as a process at its
// descriptor limit or out of kernel memory would see it.
//
// ORVIX_REFUSE lists the calls to refuse, separated by commas:
//   <call>=<errno name>[:<count>]
// <call> is epoll_create1 or socket; the first <count> calls of it fail with
// that error (every call without a count), later ones go through. Errno
// names: EMFILE, ENFILE, ENOMEM, ENOBUFS. Anything else in the variable is
// ignored, so a typo shows as a test whose fault did not happen.
#include <dlfcn.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct Rule {
  int error = 0;   // 0: no rule for the call
  long left = -1;  // calls still to refuse; -1: all of them
};

int errno_named(const char* name, std::size_t length) {
  static const struct {
    const char* name;
    int value;
  } known[] = {{"EMFILE", EMFILE}, {"ENFILE", ENFILE}, {"ENOMEM", ENOMEM}, {"ENOBUFS", ENOBUFS}};
  for (const auto& entry : known) {
    if (std::strlen(entry.name) == length && std::strncmp(entry.name, name, length) == 0) return entry.value;
  }
  return 0;
}

// The rule for `call` in ORVIX_REFUSE, read once.
Rule rule_for(const char* call) {
  Rule rule;
  const char* rules = std::getenv("ORVIX_REFUSE");
  const std::size_t call_length = std::strlen(call);
  for (const char* item = rules; item != nullptr && *item != '\0';) {
    const char* end = std::strchr(item, ',');
    if (end == nullptr) end = item + std::strlen(item);
    const char* equals = std::strchr(item, '=');
    if (equals != nullptr && equals < end && static_cast<std::size_t>(equals - item) == call_length &&
        std::strncmp(item, call, call_length) == 0) {
      const char* colon = std::strchr(equals, ':');
      if (colon == nullptr || colon > end) colon = end;
      rule.error = errno_named(equals + 1, static_cast<std::size_t>(colon - equals - 1));
      if (colon < end) rule.left = std::strtol(colon + 1, nullptr, 10);
    }
    item = *end == ',' ? end + 1 : end;
  }
  return rule;
}

// Whether this call is refused; sets errno when it is.
bool refuse(Rule& rule) {
  if (rule.error == 0 || rule.left == 0) return false;
  if (rule.left > 0) --rule.left;
  errno = rule.error;
  return true;
}

template <class Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Set up before the program's own code runs (no guarded statics: the library
// needs no C++ runtime of its own beside a program that links one statically).
Rule epoll_rule;
Rule socket_rule;
int (*real_epoll_create1)(int) = nullptr;
int (*real_socket)(int, int, int) = nullptr;

__attribute__((constructor)) void read_rules() {
  epoll_rule = rule_for("epoll_create1");
  socket_rule = rule_for("socket");
  real_epoll_create1 = next<int (*)(int)>("epoll_create1");
  real_socket = next<int (*)(int, int, int)>("socket");
}

}  // namespace

extern "C" int epoll_create1(int flags) {
  if (refuse(epoll_rule)) return -1;
  if (real_epoll_create1 == nullptr) read_rules();  // called by another library's constructor
  return real_epoll_create1(flags);
}

extern "C" int socket(int domain, int type, int protocol) {
  if (refuse(socket_rule)) return -1;
  if (real_socket == nullptr) read_rules();  // called by another library's constructor
  return real_socket(domain, type, protocol);
}
