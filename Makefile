# The README's two commands: `make demo` and `make test`.
JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN      ?= build-asan
CMAKE_GEN := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
# Compiler cache shared by every checkout of this tree.
export CCACHE_BASEDIR  := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all deps build demo test test-build test-asan bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	scripts/demo.sh $(BUILD)/bin out/demo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600
	$(MAKE) test-asan

# The same tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the run. The Qt workstation is left out of this pass.
test-asan: deps
	cmake -S . -B $(ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	      -DGLIMVQ_SANITIZE=ON -DGLIMVQ_WORKSTATION=OFF -DGLIMVQ_BENCH=OFF
	cmake --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
	      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	      ctest --output-on-failure -j$(JOBS) --timeout 900 -LE slow
	@if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh; fi

bench: build
	scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN) build-fuzz out
