"""Checks that release programs need no shared library beyond the C library's
own, that the host needs not even the maths library, and that the host
links no iostream initialiser.

Every shared library is paid for at each start (the browser starts the host
per one-shot message), and a library that is missing or of another version
on the user's machine stops the host from starting at all.

Usage: check_self_contained.py HOST [OTHER-PROGRAM...]
"""
import re
import subprocess
import sys

# Parts of glibc: the C library, its maths library and the dynamic loader
# (and, on glibc before 2.34, the libraries since folded into libc).
GLIBC = re.compile(r"^(libc|libm|libpthread|libdl|librt)\.so\.\d+$|^ld-linux[-\w.]*\.so\.\d+$")
NEEDED = re.compile(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]")
# libstdc++'s static initialiser of std::cout and friends, run at every start.
IOSTREAM_INIT = "_ZNSt8ios_base4InitC1Ev"


def needed_libraries(program):
    dynamic = subprocess.run(["readelf", "--dynamic", "--wide", program],
                             check=True, capture_output=True, text=True).stdout
    return NEEDED.findall(dynamic)


def defined_symbols(program):
    listing = subprocess.run(["nm", "--defined-only", program], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1] for line in listing.splitlines() if line.strip()}


def main(programs):
    faults = []
    for program in programs:
        needed = needed_libraries(program)
        if not needed:
            faults.append(f"{program}: no NEEDED entries; is it a dynamic executable at all?")
        faults += [f"{program} needs {name}" for name in needed if not GLIBC.match(name)]
    # The host calls nothing in the maths library: loading it anyway costs
    # every start its relocations, system calls and resident pages.
    faults += [f"{programs[0]} needs {name}" for name in needed_libraries(programs[0]) if name.startswith("libm.")]
    if IOSTREAM_INIT in defined_symbols(programs[0]):
        faults.append(f"{programs[0]} links std::ios_base::Init (an <iostream> somewhere in the host)")
    for fault in faults:
        print(fault)
    if not faults:
        print(f"{len(programs)} programs need only glibc")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
