#!/usr/bin/env bash
# Builds the libFuzzer targets in their own build directory and runs each in turn.
#   fuzz/run.sh [seconds-per-target]      (default 60)
# Environment: KELMAR_FUZZ_BUILD (build directory, default build-fuzz beside fuzz/),
#              KELMAR_FUZZ_TARGETS (space-separated subset of the targets).
# A crash leaves its input in <build>/artifacts/ and makes the script exit non-zero.
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"
build="${KELMAR_FUZZ_BUILD:-$repo/build-fuzz}"
targets="${KELMAR_FUZZ_TARGETS:-fuzz_dxf_reader fuzz_text_reader fuzz_coefficient_file fuzz_number_token fuzz_drawing_decoder fuzz_plan_selection}"

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 >/dev/null

# Seeds: the test data and the small files kept in fuzz/seeds; the corpus grows in the
# build directory and is kept between runs.
seed_dirs() {
    case "$1" in
        fuzz_dxf_reader) echo "$repo/tests/data/realdxf $here/seeds/dxf" ;;
        fuzz_text_reader) echo "$repo/tests/data/input $here/seeds/text" ;;
        fuzz_coefficient_file) echo "$here/seeds/coefficients" ;;
        fuzz_number_token) echo "$here/seeds/token" ;;
        fuzz_drawing_decoder) echo "$here/seeds/drawing" ;;
        fuzz_plan_selection) echo "$here/seeds/survey" ;;
    esac
}
dictionary() {
    case "$1" in
        fuzz_dxf_reader | fuzz_drawing_decoder) echo "$here/dxf.dict" ;;
        *) echo "$here/number.dict" ;;
    esac
}

mkdir -p "$build/artifacts"
status=0
for target in $targets; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    log="$build/$target.log"
    echo "== $target: $seconds s"
    # -close_fd_mask=3: the readers' notes on standard error would flood the log; the
    # fuzzer keeps its own report channel.
    # shellcheck disable=SC2046
    if "$build/$target" "$corpus" $(seed_dirs "$target") \
        -dict="$(dictionary "$target")" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
        grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
    else
        status=1
        echo "$target FOUND A FAULT; see $log"
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -20 || true
    fi
done
exit "$status"
