# Convenience front end: installs what is missing, configures, builds, plays
# and tests. The build itself is CMake's.

BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Tests mostly wait on the programs they start: twice as many as cores.
TEST_JOBS ?= $(shell echo $$(( 2 * $(JOBS) )))
# clang and its runtime libraries build the fuzz targets; valgrind checks a
# whole session for leaks; clang-format and clang-tidy keep the code's habits;
# xvfb gives the window's test a screen of its own.
PACKAGES = cmake g++ make pkg-config libsdl1.2-compat-dev libpng-dev libgtest-dev clang libclang-rt-dev \
           valgrind libpugixml-dev nlohmann-json3-dev zlib1g-dev libsndfile1-dev clang-format clang-tidy \
           xvfb xauth
FUZZ_DIR ?= build-fuzz
SANITIZE_DIR ?= build-sanitize
# How long `make fuzz` runs each target; CI runs each for 10 seconds.
FUZZ_SECONDS ?= 60
# How many inputs `make fuzz-long` gives each target.
FUZZ_RUNS ?= 10000000
# Sanitizer reports end the program with an error status, so a test sees them.
# The full unwinder lets the suppressions name leaks inside SDL itself.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/tests/robustness/lsan.supp:print_suppressions=0 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps configure build play test clean fuzz fuzz-long fuzz-build check-sanitize \
        web web-deps web-serve test-web web-bench web-test-deps

all: build

# Installs the Debian packages the build needs, only when one is missing.
deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES_WANTED="$(PACKAGES)"

.PHONY: install-packages
install-packages:
	@missing=""; \
	for p in $(PACKAGES_WANTED); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

play: build
	$(BUILD_DIR)/kcs --data $(BUILD_DIR)/data

# The game as a web page in build-web/ (index.html, kcs.js, kcs.wasm and the
# data as kcs.data): the native tools build the data first, then emscripten
# the game, in its own build folder. DATA=dir packs a designer's own data
# folder instead of the demo's. Debian's emscripten (its own SDL 1.2, no
# downloads) needs node to find its modules where Debian puts them.
WEB_PACKAGES = emscripten
WEB_BUILD_DIR ?= build-wasm
WEB_DIR ?= build-web
WEB_PORT ?= 8000
DATA ?= $(BUILD_DIR)/data
WEB_ENV = NODE_PATH=/usr/share/nodejs
web-deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES_WANTED="$(WEB_PACKAGES)"

web: build web-deps
	@[ -f "$(DATA)/stageselect.ini" ] || { \
	  echo "make web: DATA=$(DATA) is not a data folder (it has no stageselect.ini)" >&2; exit 2; }
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	    -DKCS_WEB_DATA=$(abspath $(DATA)) -DKCS_WEB_OUT=$(CURDIR)/$(WEB_DIR)
	$(WEB_ENV) cmake --build $(WEB_BUILD_DIR) -j $(JOBS)
	@echo "The page is in $(WEB_DIR)/: make web-serve plays it on http://127.0.0.1:$(WEB_PORT)/"

# The web build's figures for docs/PERFORMANCE.md (bench/web/measure.mjs).
web-bench: web
	@$(MAKE) --no-print-directory install-packages PACKAGES_WANTED="chromium"
	@[ -d $(BUILD_DIR)/web-test/node_modules/puppeteer-core ] || npm install \
	    --prefix $(BUILD_DIR)/web-test --no-save --no-audit --no-fund --silent puppeteer-core@24.9.0
	NODE_PATH=$(abspath $(BUILD_DIR))/web-test/node_modules node bench/web/measure.mjs $(WEB_DIR) \
	    $(BUILD_DIR)/kcs $(BUILD_DIR)/data tests/replays/rockfall-kalvorn.txt 1470

# A browser refuses the data of a page opened as a file: it is served.
web-serve: web
	cd $(WEB_DIR) && python3 -m http.server --bind 127.0.0.1 $(WEB_PORT)

# The web build played in headless chromium against the native game (see
# tests/web/play-replays.mjs) on the page make web built; make test plays
# the same replays on a page it builds itself.
test-web: web web-test-deps
	tests/web/run.sh $(BUILD_DIR) $(WEB_DIR)

# What make test's web tier needs (CI installs it; without it the tier is
# skipped, saying so). npm comes with some builds of node: Debian's package
# only where the command is missing.
web-test-deps:
	@$(MAKE) --no-print-directory install-packages PACKAGES_WANTED="$(WEB_PACKAGES) chromium"
	@command -v npm >/dev/null || $(MAKE) --no-print-directory install-packages PACKAGES_WANTED=npm

# Every fuzz target's seeds are among the tests; the search from them is
# `make fuzz`.
# The web tier's game compiles beside the native build (its test builds the
# rest and plays), where emscripten and chromium are installed.
test: configure
	@rm -f $(BUILD_DIR)/web-tier.txt
	@tests/web/run.sh $(BUILD_DIR) $(BUILD_DIR)/web-site --compile & \
	  cmake --build $(BUILD_DIR) -j $(JOBS); status=$$?; wait; exit $$status
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(TEST_JOBS)
	@cat $(BUILD_DIR)/bad-data-matrix.txt
	@cat $(BUILD_DIR)/web-tier.txt 2>/dev/null || true

# The designer's pictures in docs/, drawn again by the tools themselves; a
# test holds them to what the tools draw. docs/images/overlay.png is the
# screenshot of kcs --level ROCKFALL --skip-ready --overlay at frame 30, at
# twice its size.
.PHONY: doc-pictures
doc-pictures: build
	$(BUILD_DIR)/kcs-map render $(BUILD_DIR)/data/rockfall.map docs/images/rockfall-map.png \
	    --levels $(BUILD_DIR)/data/levels.ini --level ROCKFALL
	$(BUILD_DIR)/kcs --data $(BUILD_DIR)/data --character-report kalvorn1.ini \
	    --plot docs/images/kalvorn1-jumps.png

# The loaders under libFuzzer with AddressSanitizer and UBSan (clang only).
fuzz-build: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DKCS_FUZZ=ON -DBUILD_TESTING=OFF \
	      -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(FUZZ_DIR) --target fuzz_targets -j $(JOBS)

fuzz: fuzz-build
	FUZZ_JOBS=$(JOBS) fuzz/run-fuzzers.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# A campaign: every target to FUZZ_RUNS executions, one after the other.
fuzz-long: fuzz-build
	fuzz/run-fuzzers.sh $(FUZZ_DIR) --runs $(FUZZ_RUNS)

# Everything, tests and the game they run included, built with AddressSanitizer
# and UndefinedBehaviorSanitizer; any report fails the test that caused it.
check-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DKCS_SANITIZE=ON -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(TEST_JOBS)
	@cat $(SANITIZE_DIR)/bad-data-matrix.txt

# Measures the game against bare SDL and writes docs/PERFORMANCE.md. A
# benchmark, not a test: optimised, in its own build folder, gating nothing.
.PHONY: bench
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
	  -DBUILD_TESTING=OFF -DKCS_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target kcs-bench
	build-bench/bench/kcs-bench --report docs/PERFORMANCE.md $(BENCH_ARGS)

# The code's habits: one layout (.clang-format) and a few mistakes found by
# reading the code (.clang-tidy). Only tracked files, so a scratch file in the
# tree is neither formatted nor checked.
FORMAT_FILES = $(shell git ls-files -- $(foreach d,src tools bench tests fuzz,'$(d)/*.cpp' '$(d)/*.h'))
TIDY_FILES = $(shell git ls-files -- 'src/*.cpp' 'tools/*.cpp')
.PHONY: format format-check tidy

format: deps
	clang-format -i $(FORMAT_FILES)

# Needs no build; lists every file whose layout differs and fails. One
# clang-format for all the files: a process per file would take ten times as
# long.
format-check: deps
	@out=$$(clang-format --dry-run $(FORMAT_FILES) 2>&1) || { printf "%s\n" "$$out" >&2; exit 1; }; \
	differ=$$(printf "%s\n" "$$out" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u); \
	if [ -n "$$differ" ]; then \
	  echo "Not formatted (make format):"; for f in $$differ; do echo "  $$f"; done; exit 1; \
	fi

# Reads the compile commands of the build, so the files are checked exactly as
# they are compiled. Any finding fails: .clang-tidy makes every warning an error.
TIDY_DIR ?= build-tidy
tidy: deps
	cmake -S . -B $(TIDY_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKCS_UNITY=OFF >/dev/null
	run-clang-tidy -p $(TIDY_DIR) -j $(JOBS) -quiet $(addprefix $(CURDIR)/,$(TIDY_FILES))

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_DIR) $(SANITIZE_DIR) $(WEB_BUILD_DIR) $(WEB_DIR)
