#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan and UBSan on) and runs each
# for FUZZ_SECONDS (default 600), one after the other, from its committed seed
# corpus; what the run adds goes to build/fuzz/corpus/TARGET, anything found
# to build/fuzz/findings/TARGET.
# Usage: scripts/fuzz.sh [TARGET...]   (default: every target)
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"

FUZZ_BUILD=$ROOT/build/fuzz
FUZZ_SECONDS=${FUZZ_SECONDS:-600}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(member_decoder package_reader codec_round_trip journal_reader)

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSETUP32_FUZZ=ON >/dev/null
cmake --build "$FUZZ_BUILD" -j "$JOBS" --target "${targets[@]/%/_fuzz}"

status=0
for t in "${targets[@]}"; do
    corpus=$FUZZ_BUILD/corpus/$t findings=$FUZZ_BUILD/findings/$t
    mkdir -p "$corpus" "$findings"
    echo "== $t for ${FUZZ_SECONDS}s"
    "$FUZZ_BUILD/bin/${t}_fuzz" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "$ROOT/fuzz/corpus/$t" \
        2>&1 | tee "$FUZZ_BUILD/$t.log" | grep -E '^#[0-9]+ +(INITED|DONE)|^stat::|ERROR|SUMMARY' || true
    [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
done
exit $status
