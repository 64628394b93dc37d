#!/bin/sh
# Builds the definition parser's libFuzzer target with clang in build-fuzz and runs it.
# Usage: scripts/fuzz-definition.sh [seconds] [extra libFuzzer options...]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
build="$root/build-fuzz"
corpus="$build/corpus"

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_definition

mkdir -p "$corpus" "$build/artifacts"
cp "$root/effects/velmora.xml" "$corpus/velmora.xml"
for seed in "$root"/fuzz/seeds/*.xml; do
    [ -f "$seed" ] && cp "$seed" "$corpus/"
done

# With -jobs the fuzzer writes fuzz-<n>.log into the working directory.
cd "$build"
exec "$build/fuzz_definition" "$corpus" \
    -dict="$root/fuzz/definition.dict" \
    -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/" -jobs=1 -workers=1 "$@"
