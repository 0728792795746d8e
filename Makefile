# The two commands: `make demo` and `make test`. Both install what is missing first.
# For Windows: `make windows` (the cross-built marlovex.exe), `make test-windows` (every test
# under Wine) and `make dist` (the release archives).
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
WIN_BUILD ?= build-windows
DIST ?= dist
FUZZ_SECONDS ?= 60

.PHONY: all deps deps-windows build build-asan build-fuzz test test-normal test-asan fuzz demo bench install \
        windows build-windows test-windows dist clean

all: build

deps:
	@./tools/install-deps.sh

deps-windows:
	@./tools/install-deps.sh windows

# Warnings are errors in the developers' builds: make test turns it on (and the build folder
# keeps it); any other build only prints them.
WERROR_FLAG ?=
test: WERROR_FLAG = -DMLX_WERROR=ON

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_FLAG) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMLX_SANITIZE=ON $(WERROR_FLAG) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

test-normal: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

test: test-normal test-asan

# The fuzz targets, built with clang, libFuzzer, ASan and UBSan in a tree of their own.
build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMLX_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

# Runs every target for FUZZ_SECONDS from its seed corpus and what earlier runs found; new inputs land in
# $(FUZZ_BUILD)/corpus/NAME, crashes in $(FUZZ_BUILD)/crash/NAME.
fuzz: build-fuzz
	@./tools/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The Windows cross build (mingw-w64, statically linked; SQLite from its amalgamation). The
# tests are built only by test-windows, in the same tree.
build-windows: deps-windows
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DMLX_WERROR=ON >/dev/null

windows: build-windows
	@cmake --build $(WIN_BUILD) -j $(JOBS) --target marlovex
	@echo "$(WIN_BUILD)/marlovex.exe"

# Every test program cross-built and run under Wine, in a Wine prefix of its own.
test-windows: build-windows
	@cmake --build $(WIN_BUILD) -j $(JOBS)
	@./tools/test-windows.sh $(WIN_BUILD) $(JOBS)

# marlovex-VERSION-windows-x64.zip and marlovex-VERSION-linux-x64.tar.gz in $(DIST).
dist: build windows
	@./tools/dist.sh $(BUILD) $(WIN_BUILD) $(DIST)

demo: build
	@./examples/run-demo.sh $(BUILD)/marlovex

# The program, marlovex.1 and the docs under PREFIX; DESTDIR stages them for a package.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

bench: build
	@./bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(WIN_BUILD) $(DIST)
