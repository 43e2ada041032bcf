# Two commands for a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# Warnings as errors: on for `make test` and CI (.ci/run), off in a build
# folder that `make build` or `make run` configures first. Left empty, a
# configured folder keeps its setting, so `make run` after `make test`
# rebuilds nothing.
WERROR ?=
# CMake says what goes wrong, not every step of what goes right.
CMAKE_QUIET = --log-level=WARNING

.PHONY: all deps configure build run test test-sanitize bench format format-check clean \
	test-windows windows

all: build

deps:
	@./tools/install-deps.sh

# Configures only a build folder without a cache (the installer runs then,
# and adds only what is missing), or when CMAKE_FLAGS or another WERROR is
# asked for; afterwards `cmake --build` itself configures again when a
# CMakeLists.txt changes.
configure:
	@if [ ! -f $(BUILD)/CMakeCache.txt ]; then ./tools/install-deps.sh; fi
	@if [ ! -f $(BUILD)/CMakeCache.txt ] || [ -n "$(CMAKE_FLAGS)" ] || \
		{ [ -n "$(WERROR)" ] && \
		  ! grep -qx 'QUILLMOOR_WERROR:BOOL=$(WERROR)' $(BUILD)/CMakeCache.txt; }; then \
		cmake $(CMAKE_QUIET) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release \
			-DQUILLMOOR_WERROR=$(or $(WERROR),OFF) $(CMAKE_FLAGS); \
	fi

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/bin/quillmoor

test: WERROR = ON
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite again under ASan and UBSan, in its own build folder. The
# slowest large-file cases are skipped here (QUILLMOOR_QUICK); the plain run
# above keeps them.
test-sanitize: deps
	@cmake $(CMAKE_QUIET) -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DQUILLMOOR_SANITIZE=ON -DQUILLMOOR_WERROR=ON -DQUILLMOOR_BENCH=OFF $(CMAKE_FLAGS)
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
# the two downloads in build-windows/: quillmoor-VERSION-windows-x64.zip
# (portable) and quillmoor-VERSION-x64.msi (per-user installer).
windows:
	@JOBS=$(JOBS) ./tools/build-windows.sh

bench: build
	./bench/run.sh $(BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails, naming the places, where a source file is not as `make format` leaves it.
format-check:
	@./tools/install-deps.sh clang-format
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

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

# The Debian package (CPack): both programs, desktop entry, MIME type,
# metainfo, icons, manual pages. Built in its own folder with Debian's
# hardening flags, warnings as errors; `make package-check` lints and checks
# it without installing anything.
.PHONY: package package-check
PACKAGE_BUILD ?= build-package
PACKAGE_DEPS = dpkg-dev file
PACKAGE_CHECK_DEPS = lintian desktop-file-utils appstream shared-mime-info
package:
	@./tools/install-deps.sh $(PACKAGE_DEPS)
	@export DEB_BUILD_MAINT_OPTIONS=hardening=+all; \
	cmake $(CMAKE_QUIET) -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF -DQUILLMOOR_WERROR=ON \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
		-DCMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS="OWNER_READ;OWNER_WRITE;OWNER_EXECUTE;GROUP_READ;GROUP_EXECUTE;WORLD_READ;WORLD_EXECUTE" \
		$(CMAKE_FLAGS)
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && cpack -G DEB
package-check: package
	@./tools/install-deps.sh $(PACKAGE_CHECK_DEPS)
	./tools/check-package.sh $(PACKAGE_BUILD)/quillmoor_$$(sed -n 's/^project(Quillmoor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)_$$(dpkg --print-architecture).deb
