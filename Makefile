# Two entry points: `make run` builds and starts the viewer, `make test` builds and runs the
# tests. Both first install whatever Debian packages are missing.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

# Build: compiler, CMake, Qt 6 Widgets and Qt Test, libjpeg. Run: the Japanese fixed-pitch font.
PACKAGES = g++ make cmake qt6-base-dev qt6-base-dev-tools libgl-dev libjpeg-dev fonts-ipafont-gothic
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# The benchmark also starts the real program under a private X server.
BENCH_PACKAGES = xvfb xdotool

.PHONY: run test test-sanitized soak fuzz bench build deps clean

run: build
	$(BUILD_DIR)/bin/pelmora

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it.
test-sanitized: deps
	cmake -S . -B $(BUILD_DIR)-asan -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DPELMORA_SANITIZE=ON
	cmake --build $(BUILD_DIR)-asan -j $(JOBS)
	cd $(BUILD_DIR)-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(BENCH_PACKAGES)"
	$(BUILD_DIR)/bin/pelmora_bench

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
