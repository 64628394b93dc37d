#!/usr/bin/env bash
# The checks that need an NVIDIA GPU, run from a build made on a machine without one.
#
#   scripts/gpu-check.sh pack [BUILD_DIR]   here: gathers the built bundle, velmora-render, the GPU
#                                           tests (with the trail test effect), the kernel benchmark
#                                           and the shared libraries they need into .gpu-carry/
#                                           (at most 64 MiB)
#   scripts/gpu-check.sh run [OUT_DIR]      on the GPU machine, from the repository root with
#                                           .gpu-carry/ beside it: GPU tests, cuda against host on
#                                           the same renders (max difference), timings at
#                                           999x540 (an odd width), 1920x1080 and 3840x2160 (GPU_CHECK_SIZES)
set -uo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
CARRY="$ROOT/.gpu-carry"

die() {
    echo "gpu-check: $*" >&2
    exit 1
}

pack() {
    local build="${1:-$ROOT/build}"
    [ -d "$build/velmora.ofx.bundle" ] || die "no bundle in $build (run make build first)"
    compgen -G "$build/CMakeFiles/*/CMakeCUDACompiler.cmake" >/dev/null ||
        die "$build was configured without CUDA (nvcc not found)"
    cmake --build "$build" -j2 --target velmora velmora-render velmora_gpu_cuda_tests test_kernels_cuda \
        host_tests bench_kernels velmora_trail trail_tests >/dev/null || die "build failed"

    rm -rf "$CARRY"
    mkdir -p "$CARRY/bin" "$CARRY/lib"
    cp -r "$build/velmora.ofx.bundle" "$CARRY/"
    cp -r "$build/tests/host/testplugin/vhost_cuda_copy.ofx.bundle" "$CARRY/" || die "no CUDA test bundle"
    cp -r "$build/tests/trail/velmora_trail.ofx.bundle" "$CARRY/" || die "no trail bundle"
    local programs=(
        "$build/tools/velmora-render/velmora-render"
        "$build/tests/gpu/velmora_gpu_cuda_tests"
        "$build/tests/kernels/test_kernels_cuda"
        "$build/tests/host/host_tests"
        "$build/tests/trail/trail_tests"
        "$build/bench/kernels/bench_kernels"
    )
    local p
    for p in "${programs[@]}"; do
        [ -x "$p" ] || die "missing $p"
        cp "$p" "$CARRY/bin/"
    done

    # Every shared library the programs load, except the C library's own, which must be the
    # GPU machine's.
    local lib
    for p in "$CARRY/bin/"* "$CARRY/"*.ofx.bundle/Contents/Linux-x86-64/*.ofx; do
        ldd "$p" | awk '/=> \//{print $3}'
    done | sort -u | while read -r lib; do
        case "$(basename "$lib")" in
        libc.so* | libm.so* | libpthread.so* | libdl.so* | librt.so* | ld-linux*) ;;
        libcuda.so*) ;;
        *) cp -L "$lib" "$CARRY/lib/" ;;
        esac
    done
    strip --strip-unneeded "$CARRY/bin/"* "$CARRY/lib/"* 2>/dev/null
    local size
    size=$(du -sm "$CARRY" | cut -f1)
    [ "$size" -le 60 ] || die ".gpu-carry is ${size} MiB, over what a device run can carry"
    echo "packed $CARRY (${size} MiB): carry \".gpu-carry\" and run: scripts/gpu-check.sh run \$OUT"
}

# The largest channel difference between two images, through velmora-render.
max_difference() {
    "$CARRY/bin/velmora-render" compare "$1" "$2" || return 1
}

run_checks() {
    local out="${1:-$ROOT/gpu-check-out}"
    [ -d "$CARRY" ] || die "no .gpu-carry folder: run 'scripts/gpu-check.sh pack' on the build machine"
    mkdir -p "$out"
    export LD_LIBRARY_PATH="$CARRY/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
    export VELMORA_LOG_DIR="$out/log"
    export APPDATA="$out/appdata"
    local render="$CARRY/bin/velmora-render"
    local bundle="$CARRY/velmora.ofx.bundle"
    local status=0

    echo "== device"
    nvidia-smi --query-gpu=name,driver_version,memory.total --format=csv,noheader || status=1

    echo "== GPU tests"
    "$CARRY/bin/velmora_gpu_cuda_tests" || status=1
    "$CARRY/bin/test_kernels_cuda" || status=1
    VHOST_CUDA_COPY_BUNDLE="$CARRY/vhost_cuda_copy.ofx.bundle" "$CARRY/bin/host_tests" \
        --gtest_filter='DeviceImages.*' || status=1
    # Accumulation and device buffers through the trail test effect (its allocation-failure test
    # needs the CPU backend and skips itself).
    VELMORA_BACKEND=cuda VELMORA_TRAIL_BUNDLE="$CARRY/velmora_trail.ofx.bundle" "$CARRY/bin/trail_tests" \
        --gtest_filter='TrailEffect.*' || status=1

    echo "== kernel benchmark (cuda backend)"
    VELMORA_BACKEND=cuda "$CARRY/bin/bench_kernels" --benchmark_min_time=0.2 2>&1 | tail -n 40

    local size features
    for size in ${GPU_CHECK_SIZES:-999x540 1920x1080 3840x2160}; do
        local dir="$out/$size"
        mkdir -p "$dir"
        "$render" demo --bundle "$bundle" --size "$size" --out "$dir" >/dev/null || {
            echo "sample $size failed"
            status=1
            continue
        }
        for features in defaults all; do
            local sets=()
            [ "$features" = all ] && sets=(--set dir_amount=12 --set post_blur_enable=1 --set retexture_enable=1
                --set grain_enable=1 --set mask_blur=3)
            # Five frames on the GPU for the timing, frame 3 alone on the CPU for the comparison.
            echo "== $size $features cuda"
            VELMORA_LOG_DIR="$out/log/$size-$features-cuda" \
                "$render" render --bundle "$bundle" --backend cuda --plate "$dir/plate.png" --mask "$dir/mask.png" \
                --frames 1-5 --out "$dir/$features-cuda.%04d.exr" "${sets[@]}" || status=1
            echo "== $size $features cpu"
            "$render" render --bundle "$bundle" --backend cpu --plate "$dir/plate.png" --mask "$dir/mask.png" \
                --frames 3 --out "$dir/$features-cpu.%04d.exr" "${sets[@]}" || status=1
            local difference
            difference=$(max_difference "$dir/$features-cuda.0003.exr" "$dir/$features-cpu.0003.exr") || status=1
            echo "cuda against host, $size $features, frame 3: $difference"
        done
    done
    rm -rf "$out"/*x*/*.exr
    # A cuda render that fell back to the CPU compared the CPU with itself.
    echo "== backend fallbacks"
    if grep -rh "falling back to the host backend" "$out"/log 2>/dev/null | sort | uniq -c | grep .; then
        echo "some cuda renders ran on the host backend: their comparisons mean nothing"
        status=1
    else
        echo "none: every cuda render ran on the GPU"
    fi
    return $status
}

case "${1:-}" in
pack) pack "${2:-}" ;;
run) run_checks "${2:-}" ;;
*)
    sed -n '2,11p' "$0" >&2
    exit 2
    ;;
esac
