#!/usr/bin/env bash
# The benchmarks (not part of the test suite): makes the bench payload, then
# prints the compression table (greedy baseline beside the encoder),
# instructions per byte under callgrind, what the 386 target costs the
# decoder (under qemu-i386), decode and encode throughput, and
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
echo "== The decoder built for the 386 beside the Pentium Pro (qemu-i386, 64 KiB of vexa32.exe)"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
if [ "$(dpkg-query -W -f='${Status}\n' qemu-user g++-multilib 2>/dev/null | grep -c 'install ok installed')" -ne 2 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq qemu-user g++-multilib >/dev/null
fi
head -c 65536 "$payload/vexa32.exe" > "$ROOT/build/bench/vexa32-64k"
bash "$ROOT/bench/decoder_386.sh" "$HOST_BUILD/bin/vexapack" "$ROOT/build/bench/vexa32-64k"
echo
echo "== Throughput (Google Benchmark)"
"$HOST_BUILD/bin/codec_throughput" "$payload" --benchmark_filter='vexa32|versions'
echo
echo "== Whole installation on Wine"
bash "$ROOT/bench/install-bench.sh" "$payload" "$HOST_BUILD/bin/vexapack" "${BENCH_RUNS:-5}"
