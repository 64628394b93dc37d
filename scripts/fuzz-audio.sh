#!/bin/sh
# Builds the audio analysis loader's libFuzzer target with clang in build-fuzz and runs it.
# Usage: scripts/fuzz-audio.sh [seconds] [extra libFuzzer options...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
build="$root/build-fuzz"
corpus="$build/corpus-audio"

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_audio_analysis

mkdir -p "$corpus" "$build/artifacts"
for seed in "$root"/fuzz/seeds/audio/*; do
    [ -f "$seed" ] && cp "$seed" "$corpus/"
done

cd "$build"
exec "$build/fuzz_audio_analysis" "$corpus" \
    -dict="$root/fuzz/audio.dict" \
    -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/" -jobs=1 -workers=1 "$@"
