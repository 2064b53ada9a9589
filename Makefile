# Thin wrapper over CMake. `make demo` and `make test` set everything up on a
# fresh machine (installing missing Debian packages when run as root).
JOBS ?= $(shell nproc)
WERROR ?= OFF
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

.PHONY: all deps build demo test test-plain test-asan clean

all: build

deps:
	@bash .ci/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBCODE_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

demo: build
	@if [ -x build/bin/bcode ]; then build/bin/bcode demo; \
	else echo "libbcode $$(sed -n 's/.*BCODE_VERSION_STRING "\(.*\)"/\1/p' build/include/bcode/version.h): intermediate code of a PLC block compiler, built in build/lib/libbcode.so"; fi

test: test-plain test-asan

test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBCODE_WERROR=$(WERROR) \
	  -DBCODE_SANITIZE=address,undefined -DBCODE_BUILD_TOOLS=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench
