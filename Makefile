# Front door of the project. See README.md.
JOBS        ?= $(shell nproc)
BUILD_TEST  ?= build/test
BUILD_REL   ?= build/release
BUILD_FUZZ  ?= build/fuzz
FUZZ_SECONDS ?= 60

.PHONY: all deps build test demo bench fuzz clean

all: build

deps:
	scripts/install-deps

# Optimised build without sanitizers: the program, the demo and the benchmarks.
build: deps
	cmake -S . -B $(BUILD_REL) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANT_TESTS=OFF -DORVANT_BENCH=ON
	cmake --build $(BUILD_REL) -j$(JOBS)

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps
	cmake -S . -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	      -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DORVANT_SANITIZE=ON -DORVANT_TESTS=ON
	cmake --build $(BUILD_TEST) -j$(JOBS)
	cd $(BUILD_TEST) && ctest --output-on-failure -j$(JOBS)

demo: build
	scripts/demo $(BUILD_REL)

bench: build
	scripts/bench $(BUILD_REL)

# libFuzzer campaigns (clang-14), $(FUZZ_SECONDS) seconds per target; new inputs
# go into fuzz/corpus/<target>/.
fuzz: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DORVANT_SANITIZE=ON -DORVANT_FUZZ=ON -DORVANT_TESTS=OFF -DORVANT_GUI=OFF
	cmake --build $(BUILD_FUZZ) -j$(JOBS)
	scripts/fuzz $(BUILD_FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf build
