# Front door. `make test` and `make demo` install what is missing first.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: build test demo bench setup clean package

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

demo: setup build
	bash scripts/demo.sh

bench: setup build
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	bash scripts/bench.sh

# The .deb of the Linux build and the zip of the Windows .exe files, in
# build/packages and build-windows/packages.
package: build build-windows
	cd build && cpack -G DEB
	cd build-windows && cpack -G ZIP

clean:
	rm -rf build build-sanitize build-bench
