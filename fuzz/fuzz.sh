#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each in turn, one at a time, then prints each target's run
# count, speed and result. Exits 1 when any target found something; what it found is
# kept in build-fuzz/findings/TARGET/, and the inputs it learned in build-fuzz/corpus/TARGET/
# (the seeds in fuzz/corpus/ are never changed). A finding replays with
# build-fuzz/fuzz_TARGET FILE, or build/fuzz_TARGET_seeds FILE in the ordinary build.
#
# Usage: fuzz/fuzz.sh [-t SECONDS] [-r RUNS] [-b BUILD_DIR] [TARGET...]   (BUILD_DIR from the repository root)
#   -t SECONDS  how long each target runs (default 60)
#   -r RUNS     stop a target after this many inputs, if that comes first (default: no limit)
#   TARGET      settings html_scan url_resolve extract_between url_split graph_export
#               settings_round_trip (default: all of them)
# The long run: fuzz/fuzz.sh -t 600 -r 10000000   (make fuzz FUZZ_SECONDS=600 FUZZ_RUNS=10000000)
set -u

seconds=60
runs=
build=build-fuzz
while getopts "t:r:b:" option; do
    case $option in
        t) seconds=$OPTARG ;;
        r) runs=$OPTARG ;;
        b) build=$OPTARG ;;
        *) sed -n '9,14p' "$0" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
all_targets="settings html_scan url_resolve extract_between url_split graph_export settings_round_trip"
targets=${*:-$all_targets}
for target in $targets; do
    case " $all_targets " in
        *" $target "*) ;;
        *) echo "fuzz.sh: unknown target $target (targets: $all_targets)" >&2; exit 2 ;;
    esac
done

cd "$(dirname "$0")/.."
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DLW_FUZZ=ON -DLW_WERROR="${LW_WERROR:-OFF}" "${launcher[@]}" >/dev/null || exit 1
programs=()
for target in $targets; do programs+=("fuzz_$target"); done
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target "${programs[@]}" || exit 1

# Each target runs in a folder of its own, where the code under test may write its
# debug.txt; every path it is given is absolute.
build=$(cd "$build" && pwd)
seeds=$(pwd)/fuzz/corpus
summary=()
failed=0
for target in $targets; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/logs/$target.log
    work=$build/work/$target
    mkdir -p "$corpus" "$findings" "$work" "$build/logs"
    limits=(-max_total_time="$seconds")
    [ -n "$runs" ] && limits+=(-runs="$runs")
    # Inputs as long as what the target reads: a text searched reaches past the page
    # buffer's 100,000 bytes (a page body gets there by its target's filler), a webspace
    # of 12 pages some kB, a URL or a settings line a few hundred bytes.
    case $target in
        extract_between) limits+=(-max_len=120000) ;;
        html_scan) limits+=(-max_len=8192) ;;
        graph_export) limits+=(-max_len=16384) ;;
        *) limits+=(-max_len=4096) ;;
    esac
    echo "== $target: ${seconds} s${runs:+, at most $runs runs} (log: $log)"
    # New inputs go to the first folder, the working corpus; the seeds are read only.
    # Each input must finish within 10 s.
    started=$(date +%s.%N)
    (cd "$work" && "$build/fuzz_$target" "${limits[@]}" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$seeds/$target") >"$log" 2>&1
    status=$?
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    elapsed=$(echo "$started $(date +%s.%N)" | awk '{ printf "%.0f", $2 - $1 }')
    speed=$(echo "${executed:-0} $started $(date +%s.%N)" | awk '{ printf "%.0f", $1 / ($3 - $2) }')
    if [ $status -eq 0 ]; then
        result=ok
    else
        result="FAILED (status $status; see $log and $findings/)"
        failed=1
        grep -m 5 -E 'ERROR|fuzz check failed|runtime error|^(GraphML|DOT):' "$log"
    fi
    summary+=("$(printf '%-20s %12s runs in %4s s %8s execs/s  %s' "$target" "${executed:-?}" "$elapsed" "$speed" "$result")")
done

echo
echo "Fuzz runs (${seconds} s each${runs:+, at most $runs runs}):"
printf '  %s\n' "${summary[@]}"
exit $failed
