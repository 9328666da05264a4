# Two entry points: `make run` builds and starts the viewer, `make test` builds and runs the
# tests. Both first install whatever Debian packages are missing.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

# Build: compiler, CMake, Qt 6 Widgets, D-Bus and Qt Test, libjpeg, libyuv (scaling), Little CMS
# (colour profiles), xcb and its screen saver and Xinerama extensions, Xlib's XTEST (the
# benchmark's keys). Run: the Japanese fixed-pitch font and Qt's own translations. Tests: an X
# server, a window manager, a session bus, a Wayland compositor and the tools that drive, set up
# and look at the real window; libjpeg-turbo's own tools write the progressive files the decoder
# is checked on; the colour manager and ghostscript's profiles stand for a desktop's monitor
# profiles.
PACKAGES = g++ make cmake qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg-dev libxcb1-dev \
	libxcb-screensaver0-dev libxcb-xinerama0-dev libyuv-dev liblcms2-dev pkg-config libxtst-dev \
	fonts-ipafont-gothic qt6-translations-l10n xvfb xdotool wmctrl openbox x11-utils \
	x11-xserver-utils imagemagick desktop-file-utils dbus-daemon weston qt6-wayland \
	libjpeg-turbo-progs colord libgs-common
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)


.PHONY: run test test-sanitized soak fuzz bench build deps clean package package-check screenshots

run: build
	$(BUILD_DIR)/bin/pelmora

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it.
test-sanitized: deps
	cmake -S . -B $(BUILD_DIR)-asan -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPELMORA_SANITIZE=ON
	cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	cd $(BUILD_DIR)-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Fuzzing: clang with libFuzzer, each target for FUZZ_SECONDS.
FUZZ_SECONDS ?= 600
FUZZ_PACKAGES = clang libfuzzer-14-dev libclang-rt-14-dev imagemagick libgs-common

fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	cmake -S . -B $(BUILD_DIR)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DPELMORA_FUZZ=ON -DPELMORA_WERROR=OFF -DBUILD_TESTING=OFF
	cmake --build $(BUILD_DIR)-fuzz -j $(JOBS) --target fuzz_settings fuzz_picture
	fuzz/make-seeds.sh $(BUILD_DIR)-fuzz/corpus
	$(BUILD_DIR)-fuzz/bin/fuzz_settings -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 $(BUILD_DIR)-fuzz/corpus/settings
	$(BUILD_DIR)-fuzz/bin/fuzz_picture -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -timeout=2 $(BUILD_DIR)-fuzz/corpus/picture

# The long run over good and bad pictures, plainly and under the sanitizers (leaks included).
soak: build test-sanitized
	$(BUILD_DIR)/bin/pelmora_soak
	$(BUILD_DIR)-asan/bin/pelmora_soak

# Speed and memory figures against their targets; libjpeg-turbo's djpeg is the real show's floor.
bench: build
	$(BUILD_DIR)/bin/pelmora_bench

# The Debian package, pelmora_<version>_<arch>.deb in the build folder: CPack works out the
# libraries it needs with dpkg-shlibdeps, which reads the binary with file.
PACKAGE_PACKAGES = dpkg-dev file
package:
	@$(MAKE) --no-print-directory build PACKAGES="$(PACKAGES) $(PACKAGE_PACKAGES)"
	cd $(BUILD_DIR) && cpack -G DEB

# The package checked: lintian, the AppStream file, the manual page and the files it installs.
CHECK_PACKAGES = lintian appstream mandoc man-db
package-check:
	@$(MAKE) --no-print-directory package PACKAGE_PACKAGES="$(PACKAGE_PACKAGES) $(CHECK_PACKAGES)"
	packaging/check.sh $(BUILD_DIR)

# The README's pictures, taken of the real program under Xvfb with openbox.
SCREENSHOT_PACKAGES = pngquant
screenshots:
	@$(MAKE) --no-print-directory build PACKAGES="$(PACKAGES) $(SCREENSHOT_PACKAGES)"
	tools/screenshots.sh $(BUILD_DIR)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

clean:
	rm -rf $(BUILD_DIR)
