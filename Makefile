# Entry points: `make run` builds and starts Veilmark, `make test` builds everything and
# runs every test. Both install what is missing first (tools/setup.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20
# The Windows tests run in the build that this host's Wine can execute: the shipped 32-bit
# one, or its 64-bit twin where the kernel runs 64-bit code only.
WINE_ARCH := $(shell tools/wine-run --arch 2>/dev/null || echo i686)
WINTEST := $(if $(filter x86_64,$(WINE_ARCH)),build/windows-x64,build/windows)
# The other Windows build: only its program is built, for the import check of both.
WINOTHER := $(if $(filter x86_64,$(WINE_ARCH)),build/windows,build/windows-x64)

.PHONY: all setup host windows test check-test-pointers check-format test-host test-windows test-i686 asan fuzz fuzz-long bench bench-regex bench-png bench-reportserver reportserver run dist reproducible-check clean

all: host windows

setup:
	@tools/setup.sh

build/host/build.ninja: | setup
	cmake --preset host >/dev/null
build/windows/build.ninja: | setup
	cmake --preset windows >/dev/null
build/windows-x64/build.ninja: | setup
	cmake --preset windows-x64 >/dev/null
build/host-asan/build.ninja: | setup
	cmake --preset host-asan >/dev/null
build/fuzz/build.ninja: | setup
	cmake --preset fuzz >/dev/null
build/host-release/build.ninja: | setup
	cmake --preset host-release >/dev/null

host: build/host/build.ninja
	cmake --build build/host -j $(JOBS)
windows: $(WINTEST)/build.ninja $(WINOTHER)/build.ninja
	cmake --build $(WINTEST) -j $(JOBS)
	cmake --build $(WINOTHER) -j $(JOBS) --target veilmark
asan: build/host-asan/build.ninja
	cmake --build build/host-asan -j $(JOBS)

# The test pointers and the sources' layout first (quick), then the host tests under the
# sanitizers, a short fuzz run, then the Windows and end-to-end tests under Wine (those that
# open windows one at a time, the others beside them). Each line is a stage: the time of each
# closes the output, or follows the first stage that fails.
STAGE := tools/stage build/stage-times.tsv
test:
	@$(STAGE) --start
	@$(STAGE) setup $(MAKE) --no-print-directory setup
	@$(STAGE) "test pointers" $(MAKE) --no-print-directory check-test-pointers
	@$(STAGE) "format" tools/check-format
	@$(STAGE) "build host (ASan)" $(MAKE) --no-print-directory asan
	@$(STAGE) "build Windows" $(MAKE) --no-print-directory windows
	@$(STAGE) "build fuzzers" $(MAKE) --no-print-directory fuzz-build
	@$(STAGE) "host tests" ctest --test-dir build/host-asan --output-on-failure -j $(JOBS)
	@$(STAGE) fuzzers tools/run-fuzzers build/fuzz $(FUZZ_SECONDS)
	@$(STAGE) "Windows tests" ctest --test-dir $(WINTEST) --output-on-failure -j $(JOBS)
	@$(STAGE) --table

# Every "Tests:" pointer at the top of a source file names files that exist.
check-test-pointers:
	tools/check-test-pointers
# Every C++ source laid out as .clang-format says; `tools/check-format --fix` lays them out.
check-format: setup
	tools/check-format

test-host: asan
	ctest --test-dir build/host-asan --output-on-failure -j $(JOBS)
test-windows: windows
	ctest --test-dir $(WINTEST) --output-on-failure -j $(JOBS)

# The Windows tests against the shipped 32-bit build; on a host that runs 64-bit code only, in
# an emulated 32-bit machine (tools/i686-vm: its image is built once, about 30 minutes).
# Too slow for `make test`: run it after changes to capture, stacks, registers, exception
# paths or pointer sizes. CTEST_ARGS narrows the run, e.g. CTEST_ARGS='-R crash_matrix'.
test-i686: build/windows/build.ninja
	cmake --build build/windows -j $(JOBS)
	tools/i686-vm/ctest $(CTEST_ARGS)

fuzz-build: build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS)
fuzz: fuzz-build
	tools/run-fuzzers build/fuzz 600

bench: bench-regex bench-png bench-reportserver
bench-regex bench-png: build/host-release/build.ninja
	cmake --build build/host-release -j $(JOBS) --target $@
	build/host-release/bench/$@ --benchmark_min_time=0.2

# The crash-report server: uploads per second and page times on SQLite and PostgreSQL (one
# and two processes) beside a trivial handler, and on SQLite again while 120 slow clients
# hold connections open.
bench-reportserver: build/host-release/build.ninja
	cmake --build build/host-release -j $(JOBS) --target $@
	build/host-release/bench/$@

# The crash-report server on 127.0.0.1:8080, its database in reportserver-data/; the first
# start creates the account "dev" and prints its password once.
reportserver: build/host-release/build.ninja
	cmake --build build/host-release -j $(JOBS) --target reportserver
	build/host-release/server/reportserver --data reportserver-data --host 127.0.0.1 --port 8080 \
	  --thank-you /thanks --first-account dev

# The files we ship, in build/dist: the 32-bit program without its debug information but
# with its symbol table, signed (tools/make-dist.py says with what), its zip and SHA256SUMS.
dist: setup build/windows/build.ninja
	cmake --build build/windows -j $(JOBS) --target veilmark
	tools/make-dist.py --build build/windows --out build/dist

# Builds the shipped program twice from this commit in two temporary folders and compares
# the unsigned files; prints the SHA-256 of both. Slow (two whole builds): not in `make test`.
reproducible-check: setup
	tools/reproducible-check

run: windows
	tools/run-veilmark $(WINTEST)

clean:
	-tools/wine-run --stop
	rm -rf build
