# The two commands: `make demo` and `make test`. Both install what is missing first.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build build-asan build-fuzz test test-normal test-asan fuzz demo bench install clean

all: build

deps:
	@./tools/install-deps.sh

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

demo: build
	@./examples/run-demo.sh $(BUILD)/marlovex

# The program, marlovex.1 and the docs under PREFIX; DESTDIR stages them for a package.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

bench: build
	@./bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
