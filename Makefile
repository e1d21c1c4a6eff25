# Linkweave: the two commands a new developer needs are `make run` and `make test`.
# Both install missing Debian packages first, so they work on a fresh machine.

BUILD      ?= build
JOBS       ?= $(shell nproc)
LW_WERROR  ?= OFF
PREFIX     ?= /usr/local
SHOT       ?= $(BUILD)/crawl.png
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLW_WERROR=$(LW_WERROR)

PACKAGES = cmake g++ make pkg-config curl python3 \
           libgtest-dev libgmock-dev libbenchmark-dev \
           libcurl4-openssl-dev libsdl2-dev libgl-dev libgl1-mesa-dri \
           libgtk-3-dev fonts-urw-base35 xvfb xauth xdotool imagemagick xclip \
           nlohmann-json3-dev libpng-dev graphviz python3-networkx openssl libssl-dev \
           xdg-utils groff-base desktop-file-utils

# What `make bench` needs besides: the crawler it is timed beside.
BENCH_PACKAGES = wget2

# What `make fuzz` needs besides: clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES = clang libclang-rt-14-dev
FUZZ_SECONDS ?= 60
FUZZ_RUNS    ?=
FUZZ_TARGETS ?=
FUZZ_BUILD   ?= build-fuzz

SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build programs test run screenshot install bench fuzz clean

all: build

# Installs only what is missing, with one `apt-get update` before it.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Just the programs and their data files: no tests, no sanitized builds.
programs: configure
	cmake --build $(BUILD) --target programs -j $(JOBS)

# Window and dialog tests need an X display: without one, the whole run goes under Xvfb.
test: build
	@if [ -n "$${DISPLAY:-}" ]; then \
	    cd $(BUILD) && ctest --output-on-failure -j $(JOBS); \
	else \
	    cd $(BUILD) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j $(JOBS); \
	fi

run: programs
	bash tools/run-demo.sh $(BUILD)

# Linkweave on the demo site under Xvfb, saved as $(SHOT); SHOT=docs/crawl.png renews
# the README's picture.
screenshot: programs
	bash tools/screenshot-crawl.sh $(BUILD) 6 $(SHOT)

# The programs, the launcher, data files, icon, desktop entry and manual pages under
# $(PREFIX) (run it with sudo for a prefix that is not yours).
install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

# The latency bench runs wget2 beside linkweave-crawl. BEFORE=FOLDER adds the
# linkweave-crawl and linkweave of another build (the one before a change) to it.
bench: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(BENCH_PACKAGES)"
	@if [ -f bench/run-benchmarks.sh ]; then bash bench/run-benchmarks.sh $(BUILD) $(BEFORE); else echo 'No benchmarks yet.'; fi

# The fuzz targets, built with clang into $(FUZZ_BUILD) and run one after another for
# FUZZ_SECONDS each (and at most FUZZ_RUNS inputs, when given); prints each one's run
# count and result. The long run: make fuzz FUZZ_SECONDS=600 FUZZ_RUNS=10000000
fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	JOBS=$(JOBS) bash fuzz/fuzz.sh -t $(FUZZ_SECONDS) $(if $(FUZZ_RUNS),-r $(FUZZ_RUNS)) -b $(FUZZ_BUILD) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
