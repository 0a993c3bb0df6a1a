# The two set-up commands: `make run` builds the program alone and starts it, `make test`
# builds everything and runs every test. Each installs the Debian packages that it needs when
# any is missing (with sudo when not run as root, which asks for your password).

BUILD ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# What building and running the program needs.
RUN_PACKAGES := cmake make g++ qt6-base-dev libcups2-dev fonts-liberation
# What the tests need besides: GoogleTest; a private CUPS scheduler; rsync and nss_wrapper for
# the load and end-to-end tests; an X server (Xvfb) for the tray's menu; the Windows compiler for
# the check that the shared code stays portable; Debian's packaging tools for the package's tests
# (dpkg-shlibdeps and file for CPack, lintian, desktop-file-validate, systemd-analyze and man for
# its unit).
TEST_PACKAGES := $(RUN_PACKAGES) libgtest-dev libgmock-dev cups-daemon cups-client rsync \
	libnss-wrapper xvfb xauth g++-mingw-w64-x86-64-posix dpkg-dev file lintian \
	desktop-file-utils systemd man-db
PACKAGE_PACKAGES := $(RUN_PACKAGES) dpkg-dev file

# Installs those of the Debian packages $(1) that are missing.
define install-missing
@missing=$$(for p in $(1); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) apt-get update && \
		$(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
			$$missing; \
	fi
endef

# A new build directory is configured without the tests, which need GoogleTest, unless they are
# asked for; one configured with them keeps them.
NEW_BUILD_OPTIONS = $(if $(wildcard $(1)/CMakeCache.txt),,-DBUILD_TESTING=OFF)

.PHONY: run test package configure build bench fuzz fuzz-replay fuzz-build test-sanitize \
	windows test-windows windows-msi windows-dist windows-pictures

run:
	$(call install-missing,$(RUN_PACKAGES))
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(call NEW_BUILD_OPTIONS,$(BUILD))
	cmake --build $(BUILD) --target tarvo -j $(JOBS)
	./$(BUILD)/tarvo

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

configure:
	$(call install-missing,$(TEST_PACKAGES))
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON

# The Debian package, $(BUILD)/tarvo_<version>_<arch>.deb, made by CPack; see packaging/.
package:
	$(call install-missing,$(PACKAGE_PACKAGES))
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(call NEW_BUILD_OPTIONS,$(BUILD))
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack

# Speed and memory figures from an optimised build, each against a baseline of the same run,
# as one table at the end. Job files (at most about 1 GiB at a time) are made under TMPDIR
# (default /tmp) and removed; the run takes about three minutes.
bench:
	$(call install-missing,$(TEST_PACKAGES) libbenchmark-dev)
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTARVO_BENCH=ON
	cmake --build build-bench --target tarvo_bench -j $(JOBS)
	./build-bench/bench/tarvo_bench --benchmark_color=false

# Fuzzing with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, built with clang in
# build-fuzz. `make fuzz` runs each target for FUZZ_SECONDS (default 60) from its seeds in
# fuzz/corpus; the inputs it finds go to build-fuzz/corpus, failing ones to build-fuzz/artifacts
# (rerun one with `build-fuzz/fuzz/fuzz_<target> <file>`). `make fuzz-replay` runs every seed
# once, without fuzzing.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := job settings records

fuzz: fuzz-build
	@mkdir -p build-fuzz/artifacts
	@for t in $(FUZZ_TARGETS); do \
		mkdir -p build-fuzz/corpus/$$t; \
		echo "fuzz_$$t for $(FUZZ_SECONDS) s"; \
		build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
			-dict=fuzz/$$t.dict -artifact_prefix=build-fuzz/artifacts/ \
			build-fuzz/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

fuzz-replay: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
		build-fuzz/fuzz/fuzz_$$t -runs=0 fuzz/corpus/$$t || exit 1; \
	done

fuzz-build:
	$(call install-missing,cmake make libcups2-dev clang libclang-rt-14-dev)
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DTARVO_FUZZ=ON
	cmake --build build-fuzz --target fuzz_job fuzz_settings fuzz_records -j $(JOBS)

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer (g++) in build-asan. The
# first finding fails its test; leaks of the system's font library are not the program's.
test-sanitize:
	$(call install-missing,$(TEST_PACKAGES))
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON
	cmake --build build-asan -j $(JOBS)
	cd build-asan && UBSAN_OPTIONS=print_stacktrace=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/.ci/lsan.supp ctest --output-on-failure -j $(JOBS)

# The Windows program, cross-compiled with mingw-w64: `make windows` builds build-win/tarvo.exe,
# a single file that needs only the system's DLLs. `make test-windows` builds it with its tests
# and runs them under wine, in a wine prefix of build-win (which wine lets only its owner use),
# on a display of their own, printing to the tests' private CUPS scheduler.
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64-posix
WINDOWS_TEST_PACKAGES := $(WINDOWS_PACKAGES) googletest wine wine64 fonts-wine xvfb xauth \
	cups-daemon cups-client libcups2 wixl
# The toolchain is given to a new build directory only: CMake reads it once, and warns that it
# is unused when given again.
WINDOWS_CONFIGURE = cmake -S . -B build-win -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	$(if $(wildcard build-win/CMakeCache.txt),,-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)

windows:
	$(call install-missing,$(WINDOWS_PACKAGES))
	$(WINDOWS_CONFIGURE) $(call NEW_BUILD_OPTIONS,build-win)
	cmake --build build-win --target tarvo -j $(JOBS)

test-windows:
	$(call install-missing,$(WINDOWS_TEST_PACKAGES))
	$(WINDOWS_CONFIGURE) -DBUILD_TESTING=ON
	cmake --build build-win -j $(JOBS)
	cd build-win && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j $(JOBS)

# The Windows installer, build-win/tarvo-<version>-x64.msi, made by wixl; see packaging/windows.
windows-msi:
	$(call install-missing,$(WINDOWS_PACKAGES) wixl)
	$(WINDOWS_CONFIGURE) $(call NEW_BUILD_OPTIONS,build-win)
	cmake --build build-win --target tarvo_msi -j $(JOBS)
	@echo "build-win/tarvo-$$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-win/CMakeCache.txt)-x64.msi"

# The README's pictures of the Windows windows, docs/windows-*.png: tarvo.exe under wine on a
# display of its own, its windows opened by clicks and photographed.
windows-pictures: windows
	$(call install-missing,wine wine64 fonts-wine xvfb xauth imagemagick xdotool)
	xvfb-run -a -s "-screen 0 1024x768x24" sh tests/windows/pictures.sh build-win docs

# What a Windows user is given: build-win/tarvo-windows-x64.zip with tarvo.exe, stripped of its
# debugging information, and ReadMe.txt with Windows' line ends.
windows-dist: windows
	$(call install-missing,zip)
	rm -rf build-win/dist build-win/tarvo-windows-x64.zip
	mkdir -p build-win/dist
	x86_64-w64-mingw32-strip -o build-win/dist/tarvo.exe build-win/tarvo.exe
	sed 's/$$/\r/' ui/win32/ReadMe.txt > build-win/dist/ReadMe.txt
	cd build-win/dist && zip -q -X ../tarvo-windows-x64.zip tarvo.exe ReadMe.txt
	@echo "build-win/tarvo-windows-x64.zip"
