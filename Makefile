# SPDX-License-Identifier: GPL-3.0-or-later
# make run          installs what is missing, builds and starts the program
# make test         installs what is missing, builds and runs every test
# make bench        builds and prints every benchmark's figures
# make package      builds the Debian package lumocompress_<version>_<arch>.deb in the build folder
# make translations refreshes translations/lumocompress_en.ts from the sources and layouts
# make format       formats our C++ files with the repository's .clang-format
# make format-check lists the C++ files that make format would change, and fails if there are any
# make check        builds in build-check with AddressSanitizer and UndefinedBehaviorSanitizer and
#                   runs every test there
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CHECK_DIR ?= build-check
JOBS ?= $(shell nproc)
CLANG_FORMAT ?= clang-format-14
# Our C++ files: the program, the command line, the tools, the tests and the benchmarks.
FORMAT_FILES = $(shell find src cli tools tests bench -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

.PHONY: all deps configure build run test bench package translations format format-check check clean

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

configure: deps $(BUILD_DIR)/build.ninja

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
	  echo "make run: no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it from a desktop session." >&2; \
	  exit 1; \
	fi
	@$(BUILD_DIR)/lumocompress

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@bash bench/run-all.sh $(BUILD_DIR)

package: build
	@cmake --build $(BUILD_DIR) --target package

translations: deps
	@scripts/update-translations

format: deps
	@$(CLANG_FORMAT) -i $(FORMAT_FILES)

format-check: deps
	@unformatted=$$($(CLANG_FORMAT) --dry-run $(FORMAT_FILES) 2>&1 | \
	  sed -n 's/^\(.*\):[0-9]*:[0-9]*: [a-z]*: code should be clang-formatted.*/\1/p' | sort -u); \
	if [ -n "$$unformatted" ]; then \
	  echo "make format-check: these files are not formatted (make format fixes them):" >&2; \
	  echo "$$unformatted" | sed 's/^/  /' >&2; \
	  exit 1; \
	fi

# The sanitizers stop at the first fault; LeakSanitizer skips the third-party leaks listed in
# tests/sanitizer/lsan.supp.
check: deps
	@cmake -S . -B $(CHECK_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_SANITIZE=ON >/dev/null
	@cmake --build $(CHECK_DIR) -j $(JOBS)
	@cd $(CHECK_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900

clean:
	@rm -rf $(BUILD_DIR)
