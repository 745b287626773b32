# Thin wrapper over CMake. On a fresh Debian machine:
#   make run       installs what is missing, builds, plays the show
#   make test      installs what is missing, builds, runs the tests through CTest
#   make package   installs what is missing, builds, makes the Debian package in $(BUILD)/
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all setup configure build run test test-package package sanitize fuzz windows test-windows web serve-web test-web content-preview clean

all: build

# Playing needs only what building and running need; the test targets below
# ask the set-up for the test tools as well and build the suites.
SETUP_ARGS ?= --test
SUITES ?= -DQUILLMOOR_TESTS=ON -DQUILLMOOR_BENCH=ON
run package: SETUP_ARGS =
run package: SUITES = -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF

setup:
	@bash tools/setup.sh $(SETUP_ARGS)

configure: setup
	@cmake -S . -B $(BUILD) $(SUITES) $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@cd $(BUILD) && ./quillmoor

# The package tests (label `package`: CPack, lintian, the unpacked programs)
# take a minute or more and have a target of their own.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 900 -LE 'package|windows|web'

test-package: build
	@cd $(BUILD) && ctest --output-on-failure --timeout 900 -L package

# quillmoor_<version>_<arch>.deb in $(BUILD)/, made by CPack from the build
# (see packaging/CMakeLists.txt).
package: build
	@cd $(BUILD) && cpack -G DEB

# The whole suite under AddressSanitizer (leak checking included) and
# UndefinedBehaviorSanitizer, in build-sanitize/; the content generators run
# sanitized at build time too. Mesa unloads its software driver when the
# last display closes, and LeakSanitizer then sees what the driver still
# held as leaked, with no name to suppress it by: the tests run with the
# driver preloaded so that it stays. The driver is looked up by the shell
# when the tests start: make expands the whole recipe before its first line
# runs, which is before the set-up has installed Mesa on a fresh machine.
# What system libraries keep for the life of the process is suppressed by
# tools/lsan.supp (see its header); anything of ours fails the test that
# leaked. The fuzz targets are sanitized in every build, so their bounded
# runs are left to `make test` and `make fuzz`; the package is made from the
# ordinary build, by `make test-package`.
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:verify_asan_link_order=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
sanitize:
	@$(SANITIZE_ENV) $(MAKE) build BUILD=build-sanitize \
		CMAKE_FLAGS="-DQUILLMOOR_SANITIZE=ON -DQUILLMOOR_BENCH=OFF"
	@driver=$$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1); \
	[ -n "$$driver" ] || { echo "sanitize: no Mesa software driver (swrast_dri.so) installed" >&2; exit 1; }; \
	cd build-sanitize && $(SANITIZE_ENV) LD_PRELOAD=$$driver \
		ctest --output-on-failure -j$(JOBS) --timeout 900 -LE 'fuzz|package|windows|web'

# The fuzz targets built with clang's libFuzzer (coverage-guided) in
# build-fuzz/, each run for FUZZ_SECONDS against its corpus under fuzz/corpus,
# from a fixed seed so that a CI run can be repeated.
FUZZ_SECONDS ?= 60
fuzz: setup
	@cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DQUILLMOOR_CONTENT=OFF -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF
	@cmake --build build-fuzz -j$(JOBS) --target pcx_fuzz audio_fuzz
	@for target in pcx audio; do \
		mkdir -p build-fuzz/fuzz/corpus_$$target && \
		build-fuzz/fuzz/$${target}_fuzz -seed=1 -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -print_final_stats=1 \
			-artifact_prefix=build-fuzz/fuzz/ build-fuzz/fuzz/corpus_$$target fuzz/corpus/$$target \
			2>build-fuzz/fuzz/$$target.log || { tail -40 build-fuzz/fuzz/$$target.log; exit 1; }; \
		grep -h "stat::number_of_executed_units" build-fuzz/fuzz/$$target.log | sed "s/^/$$target: /"; \
	done

# The show for Windows, cross-built with mingw-w64 in build-windows/: the
# libraries it links statically are built from Debian's source packages by
# tools/windows/deps.sh (once; later runs reuse them), and its content is
# this build's generated Data/. Leaves build-windows/quillmoor-windows.zip
# (the programs, Data\ and a README) and says how big it is.
# `make test-windows` runs them under Wine (label `windows`).
WINDOWS_BUILD ?= build-windows
# Where the cross-built libraries go; CI keeps them outside its clone (see
# .ci/run), since they change only with the scripts that build them.
WINDOWS_DEPS ?= $(CURDIR)/$(WINDOWS_BUILD)/deps
# The Windows programs the tests add (test_windows.exe and the probes) are
# built for test-windows only.
WINDOWS_TESTS = OFF
test-windows: WINDOWS_TESTS = ON
test-windows: CMAKE_FLAGS += -DQUILLMOOR_WINDOWS_BUILD_DIR=$(CURDIR)/$(WINDOWS_BUILD)
windows:
	@bash tools/setup.sh --windows
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF
	@cmake --build $(BUILD) -j$(JOBS) --target quillmoor_content
	@JOBS=$(JOBS) bash tools/windows/deps.sh $(WINDOWS_DEPS)
	@cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
		-DQUILLMOOR_WINDOWS_DEPS=$(WINDOWS_DEPS)/prefix \
		-DQUILLMOOR_WINDOWS_CONTENT=$(CURDIR)/$(BUILD)/Data -DQUILLMOOR_TESTS=$(WINDOWS_TESTS)
	@cmake --build $(WINDOWS_BUILD) -j$(JOBS)
	@cd $(WINDOWS_BUILD) && for f in quillmoor-windows.zip packaging/windows/quillmoor/*.exe; do \
		echo "$(WINDOWS_BUILD)/$$f: $$(stat -c %s $$f) bytes ($$(du -h $$f | cut -f1))"; done

# The Linux build comes first: its `wine` suite drives the Windows programs.
test-windows: build windows
	@cd $(BUILD) && ctest --output-on-failure --timeout 900 -L windows

# The show for a browser, built with Emscripten in build-web/: the libraries
# it links are built from Debian's source packages by tools/web/deps.sh
# (once; later runs reuse them), its content is this build's generated Data/
# as a data package, and the page's poster is a still from this build's
# capture tool. Leaves build-web/quillmoor-web/ (index.html, quillmoor.js,
# quillmoor.wasm, quillmoor-data.js, quillmoor.data, poster.png, the
# recording quillmoor.mp4 for browsers without WebGL 2, and for
# installing and playing offline manifest.webmanifest, its icons drawn by
# the icon tool, and service-worker.js) and
# build-web/quillmoor-web.zip, and says how big they are.
# `make serve-web` serves the page on http://127.0.0.1:$(WEB_PORT)/;
# `make test-web` plays it in Chromium, Firefox and WebKitGTK (label `web`).
WEB_BUILD ?= build-web
WEB_DEPS ?= $(CURDIR)/$(WEB_BUILD)/deps
WEB_PORT ?= 8000
WEB_POSTER_AT ?= 58s
# The recording the page plays where a browser offers no WebGL 2: the whole
# show at 1280x720, 30 frames a second, H.264 and AAC in MP4 (about 16 MB).
# It is made once and kept, since drawing it takes minutes on a machine
# without a GPU; CI keeps it outside its clone under the hash of what draws it.
WEB_VIDEO ?= $(CURDIR)/$(WEB_BUILD)/video/quillmoor.mp4
# Debian's emscripten finds its JavaScript modules (acorn) only here.
WEB_ENV = NODE_PATH=/usr/share/nodejs
test-web: CMAKE_FLAGS += -DQUILLMOOR_WEB_BUILD_DIR=$(CURDIR)/$(WEB_BUILD)
web:
	@bash tools/setup.sh --web
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF
	@cmake --build $(BUILD) -j$(JOBS) --target quillmoor_content quillmoor-capture quillmoor_make_icon
	@mkdir -p $(WEB_BUILD)/poster $(WEB_BUILD)/icons
	@for side in 192 512; do [ -f $(WEB_BUILD)/icons/icon-$$side.png ] || \
		$(BUILD)/tools/content/quillmoor_make_icon $(BUILD)/Data $(WEB_BUILD)/icons/icon-$$side.png $$side || exit 1; done
	@[ -f $(WEB_BUILD)/poster/poster.png ] || { \
		$(BUILD)/quillmoor-capture --still $(WEB_POSTER_AT) --size 960x540 --out $(WEB_BUILD)/poster >/dev/null && \
		mv $(WEB_BUILD)/poster/still_*.png $(WEB_BUILD)/poster/poster.png; } || \
		echo "web: no poster still (the capture tool could not draw); the page shows black" >&2
	@[ -f $(WEB_VIDEO) ] || { mkdir -p $(dir $(WEB_VIDEO)) && \
		echo "web: recording the show for browsers without WebGL 2 into $(WEB_VIDEO)" && \
		$(BUILD)/quillmoor-capture --video $(WEB_VIDEO) --size 1280x720 --fps 30 \
			--preset veryfast --crf 28 --quiet; } || \
		echo "web: no recording of the show (the capture tool could not make it); without WebGL 2 the page only says so" >&2
	@JOBS=$(JOBS) $(WEB_ENV) bash tools/web/deps.sh $(WEB_DEPS)
	@$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
		-DQUILLMOOR_WEB_DEPS=$(WEB_DEPS)/prefix \
		-DQUILLMOOR_WEB_CONTENT=$(CURDIR)/$(BUILD)/Data \
		-DQUILLMOOR_WEB_POSTER=$$([ -f $(WEB_BUILD)/poster/poster.png ] && echo $(CURDIR)/$(WEB_BUILD)/poster/poster.png) \
		-DQUILLMOOR_WEB_ICONS=$(CURDIR)/$(WEB_BUILD)/icons \
		-DQUILLMOOR_WEB_VIDEO=$$([ -f $(WEB_VIDEO) ] && echo $(WEB_VIDEO))
	@$(WEB_ENV) cmake --build $(WEB_BUILD) -j$(JOBS)
	@cd $(WEB_BUILD) && for f in quillmoor-web.zip quillmoor-web/*; do \
		echo "$(WEB_BUILD)/$$f: $$(stat -c %s $$f) bytes ($$(du -h $$f | cut -f1))"; done

serve-web:
	@[ -f $(WEB_BUILD)/quillmoor-web/index.html ] || $(MAKE) web
	@echo "serving $(WEB_BUILD)/quillmoor-web on http://127.0.0.1:$(WEB_PORT)/ (Ctrl+C ends)"
	@cd $(WEB_BUILD)/quillmoor-web && python3 -m http.server --bind 127.0.0.1 $(WEB_PORT)

# The Linux build comes first: it registers the `web` suite, which serves
# build-web's page to the browsers. Firefox on the software rasterizer now
# and then holds a page past its driver's timeout just after the click that
# starts it, so a failed case is run again, up to three times in all.
test-web: build web
	@cd $(BUILD) && ctest --output-on-failure --timeout 900 --repeat until-pass:3 -L web

content-preview: build
	@cmake --build $(BUILD) --target content-preview

clean:
	@rm -rf $(BUILD) build-sanitize build-fuzz $(WINDOWS_BUILD) $(WEB_BUILD)
