# Two commands for a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-sanitize bench format clean test-windows windows

all: build

deps:
	@./tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/bin/quillmoor

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite again under ASan and UBSan, in its own build folder. The
# slowest large-file cases are skipped here (QUILLMOOR_QUICK); the plain run
# above keeps them.
test-sanitize: deps
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMOOR_SANITIZE=ON \
		-DQUILLMOOR_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && QT_QPA_PLATFORM=offscreen QUILLMOOR_QUICK=1 \
		ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# The Windows build (mingw-w64) and its tests, run under wine; the cross
# compiler and wine are installed on first use.
test-windows:
	@JOBS=$(JOBS) ./tools/test-windows.sh

# quillmoor.exe (the window) and quillmoor-cli.exe in build-windows/bin/, and
# quillmoor-windows-x64.zip with both, a short README and the licence.
windows:
	@JOBS=$(JOBS) ./tools/build-windows.sh

bench: build
	./bench/run.sh $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)

# libFuzzer targets in fuzz/ (clang): `make fuzz` runs each for FUZZ_SECONDS
# and keeps the inputs it finds in fuzz/corpus-run/; `make fuzz-ci` runs each
# for FUZZ_CI_SECONDS on a scratch copy of its seed corpus. A finding fails.
.PHONY: fuzz fuzz-ci
FUZZ_SECONDS ?= 300
FUZZ_CI_SECONDS ?= 60
FUZZ_DEPS = clang libfuzzer-14-dev libssl-dev
fuzz:
	@./tools/install-deps.sh $(FUZZ_DEPS)
	@./tools/fuzz.sh $(FUZZ_SECONDS)
fuzz-ci:
	@./tools/install-deps.sh $(FUZZ_DEPS)
	@./tools/fuzz.sh --ci $(FUZZ_CI_SECONDS)
