# Front door. `make test` and `make demo` install what is missing first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Seconds per fuzz target: `make fuzz` for a run, `make test` for a smoke.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 20

.PHONY: build test demo bench fuzz fuzz-build setup clean package

setup:
	bash scripts/setup.sh

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

test: setup build
	ctest --preset default -j $(JOBS)
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-build
	bash scripts/fuzz.sh $(FUZZ_SMOKE_SECONDS)

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

# The .deb of the Linux build and the zip of the Windows .exe files, in
# build/packages and build-windows/packages.
package: build build-windows
	cd build && cpack -G DEB
	cd build-windows && cpack -G ZIP

clean:
	rm -rf build build-sanitize build-bench build-fuzz
