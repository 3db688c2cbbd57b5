// Each browser as it looks for the host: which registration it really reads,
// whether its policies let it start the host, and whether that registration
// admits the extensions asked about.
//
// The browser reads its per-user registration when there is one and policy
// allows user-level hosts (NativeMessagingUserLevelHosts), else the system
// one; on Windows HKCU before HKLM, each in the 32-bit view before the 64-bit
// one. It never falls back past a registration it found: a broken per-user
// one shadows a sound system one. Keys it never reads (below
// HKCU\Software\WOW6432Node) are named in a note.
#pragma once

#include <string>

#include "doctor.h"

namespace orvix::register_tool {

// Adds to `report.browsers` a verdict for every browser of `request` that is
// detected, named or registered, from the rows run_doctor() checked (and
// marks the rows a policy keeps the browser from reading). Reads the
// browsers' policies; never fails.
void judge_browsers(const Roots& roots, const DoctorRequest& request, const std::string& own_path,
                    DoctorReport& report);

}  // namespace orvix::register_tool
