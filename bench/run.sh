#!/usr/bin/env bash
# Benchmarks: extraction throughput (native) and the stub's peak memory under
# Wine. `make bench` builds both trees first.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
WORK="${BENCH_WORK:-build/bench}"
KVPACK=build/host/tools/kvpack/kvpack
STUB=build/win32/src/stub/stub.exe
mkdir -p "$WORK"

echo "== Extraction throughput: 256 MiB package of mixed files"
rm -rf "$WORK/mixed"
python3 bench/make_mixed.py "$WORK/mixed" 256
"$KVPACK" build --stub "$STUB" --out "$WORK/mixed-setup.exe" "$WORK/mixed"/* >/dev/null
rm -rf "$WORK/mixed"
build/host/bench/extract_bench "$WORK/mixed-setup.exe" "$WORK/extract" "${ROUNDS:-3}"
rm -f "$WORK/mixed-setup.exe"

echo
echo "== Peak memory of the stub under Wine"
python3 bench/memory_bench.py build/win32/tests/e2e/e2e_config.json
