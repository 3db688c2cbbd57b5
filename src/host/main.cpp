// The browser passes arguments (the caller's origin, a window handle); the
// host reads none of them.
#include "host/host_main.h"

int main() { return orvix::host::run_host(); }
