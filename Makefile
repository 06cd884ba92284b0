# Front door of the project. See README.md.
JOBS        ?= $(shell nproc)
BUILD_TEST  ?= build/test
BUILD_REL   ?= build/release
BUILD_FUZZ  ?= build/fuzz
BUILD_VALGRIND ?= build/valgrind
BUILD_WIN   ?= build/windows
FUZZ_SECONDS ?= 60
# make bench also times the extraction copy of this commit's orvant-cli: the last
# one before the month's report (every copied invoice read and checked).
BENCH_BASELINE ?= 0e9b70a

.PHONY: all deps build test windows windows-deps demo bench fuzz check-valgrind clean

all: build

deps:
	scripts/install-deps

# Optimised build without sanitizers: the program, the demo and the benchmarks.
build: deps
	cmake -S . -B $(BUILD_REL) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANT_TESTS=OFF -DORVANT_BENCH=ON
	cmake --build $(BUILD_REL) -j$(JOBS)

# Every test: the Linux build with AddressSanitizer and UndefinedBehaviorSanitizer,
# then the Windows build's suites under Wine.
test: deps
	cmake -S . -B $(BUILD_TEST) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	      -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DORVANT_SANITIZE=ON -DORVANT_TESTS=ON
	cmake --build $(BUILD_TEST) -j$(JOBS)
	cd $(BUILD_TEST) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) windows
	scripts/test-windows $(BUILD_WIN) -j$(JOBS)

# The Windows build (orvant-cli.exe with the OpenSSL DLLs beside it), cross-compiled
# with MinGW-w64; its dependencies are built once from Debian's sources into a cache
# outside the tree (scripts/build-windows-deps).
windows-deps: deps
	scripts/build-windows-deps

windows: windows-deps
	cmake -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	      -DCMAKE_BUILD_TYPE=Release -DORVANT_TESTS=ON $$(scripts/build-windows-deps --print-dirs)
	cmake --build $(BUILD_WIN) -j$(JOBS)

demo: build
	scripts/demo $(BUILD_REL)

bench: build
	scripts/bench $(BUILD_REL) --baseline $(BENCH_BASELINE)

# libFuzzer campaigns (clang-14), $(FUZZ_SECONDS) seconds per target; new inputs
# go into fuzz/corpus/<target>/.
fuzz: deps
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DORVANT_SANITIZE=ON -DORVANT_FUZZ=ON -DORVANT_TESTS=OFF -DORVANT_GUI=OFF
	cmake --build $(BUILD_FUZZ) -j$(JOBS)
	scripts/fuzz $(BUILD_FUZZ) $(FUZZ_SECONDS)

# The integration suites under Valgrind's memory checker, on a Debug build without
# sanitizers (the two do not mix). Not part of `make test`: it takes minutes.
check-valgrind: deps
	cmake -S . -B $(BUILD_VALGRIND) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	      -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DORVANT_SANITIZE=OFF -DORVANT_TESTS=ON
	cmake --build $(BUILD_VALGRIND) -j$(JOBS) \
	      --target test_net test_smtp test_mail test_mime test_platform test_app test_app_gui
	scripts/check-valgrind $(BUILD_VALGRIND)

clean:
	rm -rf build
