# Thin wrapper over CMake. On a fresh Debian machine:
#   make run    installs what is missing, builds, plays the show
#   make test   installs what is missing, builds, runs every test through CTest
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all setup configure build run test sanitize content-preview clean

all: build

setup:
	@bash tools/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@cd $(BUILD) && ./quillmoor

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 900

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	@$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DQUILLMOOR_SANITIZE=ON -DQUILLMOOR_BENCH=OFF"

content-preview: build
	@cmake --build $(BUILD) --target content-preview

clean:
	@rm -rf $(BUILD) build-sanitize
