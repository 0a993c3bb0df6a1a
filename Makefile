# The two set-up commands: `make run` builds and starts Tarvo, `make test` builds and runs
# every test. Both install the Debian packages that the build needs when any is missing.

BUILD ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev \
	libcups2-dev cups-daemon cups-client fonts-liberation

.PHONY: run test deps configure build bench

run: build
	./$(BUILD)/tarvo

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Speed and memory figures from an optimised build, as a table with the ratios at its end. Job
# files are made under TMPDIR (default /tmp); the run takes a few minutes.
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTARVO_BENCH=ON
	cmake --build build-bench --target bench_process -j $(JOBS)
	./build-bench/bench/bench_process --benchmark_color=false

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

deps:
	@missing=$$(for p in $(PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
