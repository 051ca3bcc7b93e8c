# Kelvarin: the two commands a new user needs, and a few more.
#   make run    build, start the simulated device and load examples/site into it
#   make test   build and run every test
# and: make bench, make bench-plots, make soak, make fuzz, make asan, make browser-check, make package,
#      make windows, make windows-package, make windows-test
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_FLAGS ?=
JOBS ?= 2
MAKEFLAGS += --no-print-directory

.PHONY: all setup configure build test run bench bench-plots soak fuzz fuzz-short asan browser-check package \
	windows windows-package windows-test clean

all: build

setup:
	@scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j 2

run: build
	@scripts/run-demo $(BUILD)

bench: build
	@scripts/setup bench
	@scripts/run-bench $(BUILD)

# Only the last part of make bench: a full image by round-trip time, default
# and fast options, plain and TLS, into docs/bench-rtt.tsv and the SVG plots.
bench-plots: build
	@scripts/setup bench
	@scripts/run-plot-bench $(BUILD)

# 200 downloads with random fault modes, links and transfer options; fails on
# any false success. Then 50 seeded runs over a link that loses 2% of requests.
soak: build
	@$(BUILD)/tests/soak $(BUILD)/cli/kelvarin-cli $(BUILD)/device/kelvarin-device 200
	@scripts/loss-check $(BUILD) 50

# Each fuzz target for FUZZ_SECONDS (default 600); fuzz-short runs 30 s each, as CI does.
FUZZ_SECONDS ?= 600
fuzz: setup
	@scripts/run-fuzz $(FUZZ_SECONDS)

fuzz-short: setup
	@scripts/run-fuzz 30

# Sites loaded into the simulated device with the web options, shot in headless
# Chromium beside the same folders served by python3 -m http.server.
browser-check: build
	@scripts/setup browser
	@scripts/browser-check $(BUILD)

# The Debian package, built in release mode into build-package/, then checked
# by lintian (errors fail the target).
package: setup
	@cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DKELVARIN_BUILD_TESTS=OFF -DKELVARIN_BUILD_BENCH=OFF -DKELVARIN_HARDENING=ON >/dev/null
	@cmake --build build-package -j $(JOBS)
	@cd build-package && cpack >/dev/null
	@ls build-package/kelvarin_*_amd64.deb
	@lintian --fail-on error --info build-package/kelvarin_*_amd64.deb

# kelvarin.exe, kelvarin-cli.exe and kelvarin-device.exe for Windows,
# cross-built with mingw-w64 into build-windows/, statically linked; the window
# with the static Qt that scripts/build-qt-windows builds once into
# ~/.cache/kelvarin (KELVARIN_QT_CACHE moves it), SQLite and OpenSSL with
# what scripts/build-deps-windows builds once beside it.
windows:
	@scripts/setup windows
	@qt=$$(scripts/build-qt-windows) && qt=$$(echo "$$qt" | tail -n 1) && \
		deps=$$(scripts/build-deps-windows) && deps=$$(echo "$$deps" | tail -n 1) && \
		cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DKELVARIN_QT_WINDOWS="$$qt" \
		-DKELVARIN_WINDOWS_DEPS="$$deps" $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-windows -j $(JOBS)

# The installer (NSIS) and the portable .zip: build-windows/Kelvarin-VERSION-win64.exe, .zip.
windows-package: windows
	@cd build-windows && cpack >/dev/null
	@ls build-windows/Kelvarin-*-win64.exe build-windows/Kelvarin-*-win64.zip

# The unit tests and the window's tests under wine, then end to end against
# the Linux build: the programs, the window under Xvfb, the installer.
windows-test: windows-package build
	@cd build-windows && WINEPREFIX=$(CURDIR)/build-windows/wineprefix WINEDEBUG=-all \
		ctest --output-on-failure
	@scripts/windows-test $(BUILD) build-windows

# The whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
asan: setup
	@cmake --preset asan >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j 2

clean:
	rm -rf $(BUILD)
