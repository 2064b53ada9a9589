# Thin wrapper over CMake. `make demo` and `make test` set everything up on a
# fresh machine (installing missing Debian packages when run as root).
JOBS ?= $(shell nproc)
WERROR ?= OFF
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 600
FUZZ_TEST_SECONDS ?= 30
# Inputs up to 64 KB, as large as the generated seeds; a unit slower than
# FUZZ_TIMEOUT seconds is a finding. The short runs of make test allow more,
# so that a busy machine does not fail them.
FUZZ_MAX_LEN ?= 65536
FUZZ_TIMEOUT ?= 1
FUZZ_TEST_TIMEOUT ?= 5
HAVE_CLANG := $(shell command -v clang++ >/dev/null 2>&1 && echo yes)

.PHONY: all deps build demo test test-plain test-clang test-asan test-tsan test-fuzz fuzz fuzz-build fuzz-seeds bench clean

all: build

deps:
	@bash .ci/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBCODE_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

demo: build
	@if [ -x build/bin/bcode ]; then build/bin/bcode demo; \
	else echo "libbcode $$(sed -n 's/.*BCODE_VERSION_STRING "\(.*\)"/\1/p' build/include/bcode/version.h): intermediate code of a PLC block compiler, built in build/lib/libbcode.so"; fi

test: test-plain test-clang test-asan test-tsan test-fuzz

test-plain: build
	cd build && ctest --output-on-failure -j $(JOBS)

# The same tests built by clang when it is here: what one compiler warns of
# or does differently from the other (the order it evaluates arguments in).
test-clang: deps
ifeq ($(HAVE_CLANG),yes)
	cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DBCODE_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build build-clang -j $(JOBS)
	cd build-clang && ctest --output-on-failure -j $(JOBS)
else
	@echo "clang++ not found: clang build skipped"
endif

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBCODE_WERROR=$(WERROR) \
	  -DBCODE_SANITIZE=address,undefined -DBCODE_BUILD_TOOLS=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# Separate blocks built, saved, loaded and listed on several threads at once.
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBCODE_WERROR=$(WERROR) \
	  -DBCODE_SANITIZE=thread -DBCODE_BUILD_TOOLS=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target test_concurrency
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build-tsan/bin/test_concurrency

# Each fuzz target for a short time when clang is here; `make fuzz` for longer.
test-fuzz: deps
ifeq ($(HAVE_CLANG),yes)
	$(MAKE) fuzz FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) FUZZ_TIMEOUT=$(FUZZ_TEST_TIMEOUT)
else
	@echo "clang++ not found: fuzz targets skipped"
endif

fuzz-build: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DBCODE_BUILD_FUZZ=ON -DBCODE_BUILD_TESTS=OFF -DBCODE_BUILD_TOOLS=OFF \
	  -DBCODE_SANITIZE=address,undefined $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)

# One target at a time, each with the dictionary beside it (fuzz/NAME.dict).
fuzz: fuzz-build
	@set -e; for target in build-fuzz/bin/fuzz_*; do \
	  name=$$(basename $$target); corpus=build-fuzz/corpus/$$name; \
	  mkdir -p $$corpus fuzz/artifacts fuzz/corpus/$$name; \
	  dict=; [ -f fuzz/$$name.dict ] && dict=-dict=fuzz/$$name.dict; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $$target -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) -len_control=0 \
	    -timeout=$(FUZZ_TIMEOUT) -rss_limit_mb=2048 $$dict -print_final_stats=1 \
	    -artifact_prefix=fuzz/artifacts/$$name- $$corpus fuzz/corpus/$$name; \
	done

# Writes the made seeds of fuzz/corpus again (fuzz/seeds.cpp).
fuzz-seeds: fuzz-build
	build-fuzz/bin/bcode_fuzz_seeds fuzz/corpus

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBCODE_BUILD_BENCH=ON \
	  -DBCODE_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-bench -j $(JOBS)
	build-bench/bin/bcode_bench --benchmark_min_time=0.3 --benchmark_repetitions=5 \
	  --benchmark_enable_random_interleaving=true

clean:
	rm -rf build build-clang build-asan build-tsan build-fuzz build-bench
