# Front door. `make test` and `make demo` install what they need (scripts/setup.sh).
BUILD  ?= build
JOBS   ?= 2
SUITE  ?=
FUZZ_SECONDS ?= 60
# WINE_TESTS=0 skips the Wine suites (the native ones still run).
WINE_TESTS ?= 1
WERROR ?= $(if $(CI),ON,OFF)
WIN    := $(BUILD)/win32
NAT    := $(BUILD)/native

.PHONY: all setup build release package test check demo fuzz coverage bench clean

all: build

setup:
	@bash scripts/setup.sh

# Ninja when it is there (setup.sh installs it): it starts compiling at once and keeps both
# cores busy, where the make generator spent a minute of a fresh build on its own bookkeeping.
GENERATOR = $$(command -v ninja >/dev/null && echo -G Ninja)

$(WIN)/CMakeCache.txt:
	cmake $(GENERATOR) -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT_WERROR=$(WERROR)

$(NAT)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake $(GENERATOR) -S . -B $(NAT) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT_WERROR=$(WERROR)

build: setup $(WIN)/CMakeCache.txt $(NAT)/CMakeCache.txt
	cmake --build $(WIN) -j $(JOBS)
	cmake --build $(NAT) -j $(JOBS)

# Stripped copies of the shipped binaries in $(WIN)/release (the build's own keep their symbols).
release: setup $(WIN)/CMakeCache.txt
	cmake --build $(WIN) -j $(JOBS) --target release

# The signed installer package (made by every build; this names it).
package: build
	@echo "package: $(WIN)/package/ZeltUtilUserPage.msi"

test: build
	ZELT_WINE_TESTS=$(WINE_TESTS) bash scripts/run-tests.sh $(BUILD)

check: build
	bash scripts/run-tests.sh $(BUILD) '$(SUITE)'

demo: build
	bash scripts/demo.sh $(BUILD)

# The speed and growth benchmark (bench/): one table; not part of `make test`.
bench: build
	bash scripts/bench.sh $(BUILD)

fuzz: build
	bash scripts/run-fuzz.sh $(NAT) $(FUZZ_SECONDS)

# The product built with gcov counters, run through the Wine suites; prints line and branch
# coverage per folder of src/ and the lines no test reaches (SUITE=<regex>: those suites only).
# Its folder sits beside $(BUILD), at the same depth, so a compiler cache with a base dir serves
# the objects that both builds share.
coverage: setup
	JOBS=$(JOBS) bash scripts/coverage.sh $(BUILD)-coverage '$(SUITE)'

clean:
	rm -rf $(BUILD) $(BUILD)-coverage
