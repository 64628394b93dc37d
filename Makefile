# The two commands of the README: `make demo` and `make test`.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60
ASAN_DIR ?= build-asan
TSAN_DIR ?= build-tsan
# Sanitizer builds test the host backend; optimised, with line numbers in their reports.
SANITIZER_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_ENABLE_CUDA=OFF
ASAN_RUN = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TSAN_RUN = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

.PHONY: deps configure build demo test test-asan test-tsan bench fuzz clean format install-audio-tool

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

demo: build
	@$(BUILD_DIR)/tools/velmora-render/velmora-render demo --out $(BUILD_DIR)/demo

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

# The whole suite under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and under
# ThreadSanitizer, each in a build folder of its own (gcc, or clang with CC=clang CXX=clang++).
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) $(SANITIZER_FLAGS) -DVELMORA_SANITIZE=address $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_DIR) -j$(JOBS)
	@cd $(ASAN_DIR) && $(ASAN_RUN) ctest --output-on-failure -j$(JOBS)

test-tsan: deps
	@cmake -S . -B $(TSAN_DIR) $(SANITIZER_FLAGS) -DVELMORA_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(TSAN_DIR) -j$(JOBS)
	@cd $(TSAN_DIR) && $(TSAN_RUN) ctest --output-on-failure -j$(JOBS)

# The audio analysis tool, installed where the plug-in looks for it (see the README).
install-audio-tool: build
	@$(BUILD_DIR)/tools/orbalt_audio/orbalt_audio --install

bench: build
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target benchmarks
	@$(BUILD_DIR)/bench/kernels/bench_kernels
	@$(BUILD_DIR)/bench/peers/bench_peers

# Each libFuzzer target for FUZZ_SECONDS (clang); findings go to build-fuzz/artifacts.
fuzz: deps
	@scripts/fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.h' '*.cpp' '*.cu' '*.cuh' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR)
