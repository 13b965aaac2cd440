# make run   installs what is missing, builds and starts the program
# make test  installs what is missing, builds and runs every test
# make bench builds and prints every benchmark's figures
# make package builds the Debian package lumocompress_<version>_<arch>.deb in the build folder
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench package clean

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

clean:
	@rm -rf $(BUILD_DIR)
