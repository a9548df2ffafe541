# All set-up on a fresh Debian 12 machine goes through these targets.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 10

.PHONY: all deps build test hardening demo bench fuzz clean package

all: build

deps:
	@bash tools/deps.sh

# One compiler cache for every build of this checkout: the plain build, the
# package's debhelper build (whose objects are the plain build's, compiled
# with the same flags: tools/configure.sh) and the hardening builds. Paths
# are hashed relative to the checkout, so the package's build directory
# beside $(BUILD) finds the plain build's objects. In depend mode a miss
# costs no extra run of the preprocessor: the compiler's own dependency
# list is what the cache keeps.
export CCACHE_DIR ?= $(abspath $(BUILD))/ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
export CCACHE_DEPEND := 1

# Compiled as the Debian package is (tools/configure.sh).
$(BUILD)/CMakeCache.txt:
	@bash tools/configure.sh $(BUILD)

build: deps $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS)

# The bench tests cross real networks and real servers; a test that fails
# is run once more before it counts (a real fault fails both times), and
# the end of make test names every test that needed it.
CTEST_RETRY ?= --repeat until-pass:2

# The plain run, then the hardening run below; the bench tests side by side
# on benches of their own. Ends with each stage's time (tools/test.sh).
test: deps $(BUILD)/CMakeCache.txt
	@BUILD=$(BUILD) JOBS=$(JOBS) FUZZ_SMOKE_SECONDS=$(FUZZ_SMOKE_SECONDS) bash tools/test.sh $(CTEST_RETRY)

# The tests again (less a few that only wait out a time bound) under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan), then a short run of each fuzz target.
hardening: build
	@JOBS=$(JOBS) bash tools/sanitize.sh $(CTEST_RETRY)
	@JOBS=$(JOBS) FUZZ_BUILD=build-asan bash tools/fuzz.sh --built $(FUZZ_SMOKE_SECONDS)

# Each fuzz target for FUZZ_SECONDS, built with clang in build-fuzz.
fuzz: deps
	@JOBS=$(JOBS) bash tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(BUILD)-deb build-asan build-fuzz
	rm -rf debian/.debhelper debian/tavrinoperator debian/tmp debian/files debian/*.substvars debian/debhelper-build-stamp

# The Debian package $(BUILD)/tavrinoperator_<version>_amd64.deb, built by
# debhelper in $(BUILD)-deb (tools/package.sh); after make build its
# objects come from the compiler cache.
package: deps
	@BUILD=$(BUILD) JOBS=$(JOBS) bash tools/package.sh

# The window against the simulated instruments; without a display it runs
# under Xvfb, connects once and saves a screenshot (tools/demo.sh).
demo: deps $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) --target TavrinOperator TavrinOperatorDemo benchterm examples tv_instrument_server tv_refuse_exec
	@BUILD=$(BUILD) bash tools/demo.sh

# Timings of the programs beside the tools an operator would otherwise use,
# on the bench (brought up and down unless it is up already); prints one
# table (benchmarks/run.sh). Not a pass/fail step.
bench: deps $(BUILD)/CMakeCache.txt
	@cmake --build $(BUILD) -j $(JOBS) --target TavrinOperator tavrinctl benchterm examples tv_instrument_server tv_refuse_exec benchmark_drivers
	@BUILD=$(BUILD) bash benchmarks/run.sh
