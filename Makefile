# Front door. `make test` and `make demo` install what is missing first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Seconds per fuzz target: `make fuzz` for a run, `make test` for a smoke.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20

.PHONY: build build-windows test test-windows demo bench fuzz fuzz-build setup clean package

setup:
	bash scripts/setup.sh

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

# The Windows executables, cross-built with MinGW-w64 into build-windows/
# (the MinGW packages come from `make setup`).
build-windows:
	bash scripts/windows_deps.sh
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

test: setup build
	ctest --preset default -j $(JOBS)
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	bash scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)
	$(MAKE) --no-print-directory test-windows

# The same unit and black-box suites against the .exe files under Wine; the
# Wine server started for them is stopped afterwards, pass or fail. On a
# loaded machine Wine now and then fails to start a program at all (no
# output, a failure within milliseconds), so a test that fails runs once
# more: one that fails twice fails the suite.
test-windows: build-windows
	ctest --preset windows -j $(JOBS) --repeat until-pass:2; status=$$?; bash scripts/wine_run.sh --stop; exit $$status

demo: setup build
	bash scripts/demo.sh

bench: setup build
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	bash scripts/bench.sh

fuzz-build:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz: setup fuzz-build
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

# The .deb of the Linux build in build/packages; the zip of the Windows .exe
# files and the per-machine and per-user MSIs, with their SHA256SUMS, in
# build-windows/packages. The Windows files are signed when ORVIX_SIGN_PKCS12
# and ORVIX_SIGN_PASSWORD_FILE name a certificate and its password file, and
# reported unsigned otherwise. ORVIX_EXTENSION_IDS=<id>[,<id>...] builds the
# product's ids into the packages: the MSIs register them when msiexec is
# given none, the .deb registers them system-wide, and the tool admits them
# when given no --extension-id.
package: build build-windows
	$(if $(ORVIX_EXTENSION_IDS),cmake -S . -B build -DORVIX_EXTENSION_IDS='$(ORVIX_EXTENSION_IDS)' >/dev/null)
	cd build && cpack -G DEB
	$(if $(ORVIX_EXTENSION_IDS),cmake -S . -B build-windows -DORVIX_EXTENSION_IDS='$(ORVIX_EXTENSION_IDS)' >/dev/null)
	cd build-windows && cpack

clean:
	rm -rf build build-sanitize build-bench build-fuzz build-windows
