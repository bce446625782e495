# SPDX-License-Identifier: MIT
# The front door. `make run` installs what building needs when it is missing,
# builds the library and the tool, and converts the sample feed; `make test`
# installs what the tests need too, builds everything and runs every test.
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
WERROR := $(filter -DLYRN_WERROR=ON,$(CMAKE_FLAGS))
# A new build tree for `run` or `install` leaves the tests out; one that
# `make test` configured keeps them, and `run` still builds only the tool.
TESTS_OFF_WHEN_NEW = $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)

.PHONY: all deps deps-test build run test install clean test-sanitize test-thread test-clang \
        test-portable bench fuzz lint abi-check coverage

all: build

deps:
	@bash scripts/install-deps.sh run

deps-test:
	@bash scripts/install-deps.sh test

# The library and the tool only.
build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) $(TESTS_OFF_WHEN_NEW) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target lyrn

run: build
	@$(BUILD)/tools/lyrn feed $(FEED) --url $(URL) --pretty

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Everything, then every test.
test: deps-test
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DBUILD_TESTING=ON >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)
	@ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The whole unit suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps-test
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DLYRN_SANITIZE=address,undefined $(WERROR) >/dev/null
	@cmake --build build-asan -j$(JOBS)
	@ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j$(JOBS) -LE 'hosts|bindings|faults'

# The threaded tests under ThreadSanitizer.
test-thread: deps-test
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DLYRN_SANITIZE=thread $(WERROR) >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	@ctest --test-dir build-tsan --output-on-failure -L thread

# Every test again, built with clang.
test-clang:
	@bash scripts/install-deps.sh clang
	@CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release $(WERROR) >/dev/null
	@cmake --build build-clang -j$(JOBS)
	@ctest --test-dir build-clang --output-on-failure -j$(JOBS)

# The unit suite with the portable code paths forced.
test-portable: deps-test
	@cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DLYRN_PORTABLE=ON $(WERROR) >/dev/null
	@cmake --build build-portable -j$(JOBS)
	@ctest --test-dir build-portable --output-on-failure -j$(JOBS) -LE 'hosts|bindings|faults'

# The benchmark against the peer converters (Release build).
bench: deps-test
	@bash bench/run.sh

# Every fuzz target for FUZZ_SECONDS each (default 60).
fuzz: deps-test
	@bash fuzz/run.sh

# clang-tidy (.clang-tidy) and cppcheck over src/, tools/ and the Node.js
# addon; fails on any finding.
lint:
	@bash scripts/install-deps.sh lint
	@JOBS=$(JOBS) bash scripts/lint.sh

# The shared library's ABI against the checked-in abi/lyrn.abi; fails on any
# change. `bash scripts/abi-check.sh --update` refreshes the file on purpose.
abi-check:
	@bash scripts/install-deps.sh abi
	@JOBS=$(JOBS) bash scripts/abi-check.sh

# The suite in an instrumented build; prints line and branch coverage per
# file of src/ and tools/ (docs/coverage.md explains what is left).
coverage:
	@bash scripts/install-deps.sh coverage
	@JOBS=$(JOBS) bash scripts/coverage.sh

clean:
	rm -rf $(BUILD) build-*

# Debian binary packages from the committed tree, checked by lintian; the
# .deb files land in build-deb/.
.PHONY: deb
deb:
	@bash scripts/make-deb.sh
