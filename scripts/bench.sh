#!/usr/bin/env bash
# The benchmarks (not part of the test suite): makes the bench payload, then
# prints the compression table (greedy baseline beside the encoder),
# instructions per byte under callgrind, decode and encode throughput, and
# the whole installation on Wine against its floor with the stub's size.
# BENCH_RUNS sets how many installations are timed (default 5).
set -euo pipefail
. "$(dirname "$0")/env.sh"
bash "$ROOT/scripts/setup.sh"
configure_and_build "$HOST_BUILD" >/dev/null

payload=$ROOT/build/bench/payload
bash "$ROOT/bench/make-payload.sh" "$payload"

echo "== Compression (bench payload)"
"$HOST_BUILD/bin/codec_bench" "$payload"
echo
echo "== Instructions per byte (callgrind)"
bash "$ROOT/bench/callgrind.sh" "$HOST_BUILD/bin/codec_probe" "$payload"
echo
echo "== Throughput (Google Benchmark)"
"$HOST_BUILD/bin/codec_throughput" "$payload" --benchmark_filter='vexa32|versions'
echo
echo "== Whole installation on Wine"
bash "$ROOT/bench/install-bench.sh" "$payload" "$HOST_BUILD/bin/vexapack" "${BENCH_RUNS:-5}"
