# The two commands of the README: `make demo` and `make test`.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60

.PHONY: deps configure build demo test bench fuzz clean format install-audio-tool

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

# The audio analysis tool, installed where the plug-in looks for it (see the README).
install-audio-tool: build
	@$(BUILD_DIR)/tools/orbalt_audio/orbalt_audio --install

bench: build
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target benchmarks
	@$(BUILD_DIR)/bench/kernels/bench_kernels

# Each libFuzzer target for FUZZ_SECONDS (clang); findings go to build-fuzz/artifacts.
fuzz: deps
	@scripts/fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.h' '*.cpp' '*.cu' '*.cuh' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR)
