#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given seconds (default 600),
# growing the corpora under fuzz/corpus, which the normal test suite replays.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-600}
source "$root/tools/common.sh"
install_packages "${build_packages[@]}" clang libclang-rt-14-dev

build=$root/build-fuzz
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DKALVION_FUZZ=ON
cmake --build "$build" -j "$(nproc)"
for target in decoder store journal; do
    mkdir -p "$build/artifacts/$target"
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 "$build/fuzz/fuzz_$target" -max_total_time="$seconds" \
        -max_len=4096 -artifact_prefix="$build/artifacts/$target/" "$root/fuzz/corpus/$target"
done
