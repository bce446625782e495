# SPDX-License-Identifier: MIT
# The front door. `make run` and `make test` install what is missing, configure
# and build; then `run` converts the sample feed and `test` runs every test.
BUILD      ?= build
BUILD_TYPE ?= Release
PREFIX     ?= /usr/local
FEED       ?= examples/sample-feed.xml
URL        ?= https://feeds.example.com/music/demo/all/feed.xml
JOBS       ?= 2

CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
ifeq ($(CI),true)
CMAKE_FLAGS += -DLYRN_WERROR=ON
endif

.PHONY: all deps configure build run test install clean test-sanitize test-thread bench fuzz

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@$(BUILD)/tools/lyrn feed $(FEED) --url $(URL) --pretty

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The whole unit suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLYRN_SANITIZE=address,undefined $(filter -DLYRN_WERROR=ON,$(CMAKE_FLAGS)) >/dev/null
	@cmake --build build-asan -j$(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j$(JOBS) -E install_consumer

# The threaded tests under ThreadSanitizer.
test-thread: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLYRN_SANITIZE=thread $(filter -DLYRN_WERROR=ON,$(CMAKE_FLAGS)) >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	@ctest --test-dir build-tsan --output-on-failure -L thread

# The benchmark against the peer converters (Release build).
bench: deps
	@bash bench/run.sh

# Every fuzz target for FUZZ_SECONDS each (default 60).
fuzz: deps
	@bash fuzz/run.sh

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-*
