# Entry points: `make run` builds and starts Veilmark, `make test` builds everything and
# runs every test. Both install what is missing first (tools/setup.sh).
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 20
# The Windows tests run in the build that this host's Wine can execute: the shipped 32-bit
# one, or its 64-bit twin where the kernel runs 64-bit code only.
WINE_ARCH := $(shell tools/wine-run --arch 2>/dev/null || echo i686)
WINTEST := $(if $(filter x86_64,$(WINE_ARCH)),build/windows-x64,build/windows)

.PHONY: all setup host windows test test-host test-windows test-i686 asan fuzz fuzz-long bench bench-regex bench-png bench-reportserver reportserver run dist clean

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
windows: build/windows/build.ninja $(WINTEST)/build.ninja
	cmake --build build/windows -j $(JOBS)
ifneq ($(WINTEST),build/windows)
	cmake --build $(WINTEST) -j $(JOBS)
endif
asan: build/host-asan/build.ninja
	cmake --build build/host-asan -j $(JOBS)

# Host tests under the sanitizers, a short fuzz run, then the Windows and end-to-end tests
# under Wine; CTest's summary of the last run closes the output.
test: setup asan windows fuzz-build
	ctest --test-dir build/host-asan --output-on-failure -j $(JOBS)
	tools/run-fuzzers build/fuzz $(FUZZ_SECONDS)
	ctest --test-dir $(WINTEST) --output-on-failure

test-host: asan
	ctest --test-dir build/host-asan --output-on-failure -j $(JOBS)
test-windows: windows
	ctest --test-dir $(WINTEST) --output-on-failure

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

# The crash-report server: uploads per second and page times beside a trivial handler.
bench-reportserver: build/host-release/build.ninja
	cmake --build build/host-release -j $(JOBS) --target $@
	build/host-release/bench/$@

# The crash-report server on 127.0.0.1:8080, its database in reportserver-data/; the first
# start creates the account "dev" and prints its password once.
reportserver: build/host-release/build.ninja
	cmake --build build/host-release -j $(JOBS) --target reportserver
	build/host-release/server/reportserver --data reportserver-data --host 127.0.0.1 --port 8080 \
	  --thank-you /thanks --first-account dev

# The file we ship: the 32-bit program without its debug information. Stripping keeps the
# code byte for byte: the stripped file gets the symbol table of the linked one again and
# a new integrity stamp.
dist: windows
	mkdir -p build/dist
	i686-w64-mingw32-strip -o build/dist/veilmark.exe build/windows/app/veilmark.exe
	python3 crashreport/capture/postlink.py --nm i686-w64-mingw32-nm --objdump i686-w64-mingw32-objdump \
	  build/dist/veilmark.exe --symbols-from build/windows/app/veilmark.exe
	@ls -l build/dist/veilmark.exe && file build/dist/veilmark.exe

run: windows
	tools/run-veilmark $(WINTEST)

clean:
	-tools/wine-run --stop
	rm -rf build
