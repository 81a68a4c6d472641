#!/usr/bin/env bash
# The Hello demo: packs the files of examples/hello behind stub.exe into
# out/hello-setup.exe, shows what the package holds and verifies it.
# Run from anywhere; `make demo` builds both trees first.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$ROOT"
HELLO=examples/hello
KVPACK="${KVPACK:-build/host/tools/kvpack/kvpack}"
STUB="${STUB:-build/win32/src/stub/stub.exe}"
OUT="${OUT:-out/hello-setup.exe}"

for f in "$KVPACK" "$STUB"; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing; \`make demo\` builds it" >&2
    exit 1
  fi
done
mkdir -p "$(dirname "$OUT")"

echo "== Building $OUT"
"$KVPACK" build --stub "$STUB" --out "$OUT" \
  --lang "$HELLO/hello.lang" \
  --main "Engine.exe* /demo" \
  --info-file hello.info --agent-file HelloAgent.exe \
  "Engine.exe=$HELLO/engine-standin.txt" \
  "$HELLO/readme.txt" "$HELLO/hello.ini" "$HELLO/license.txt"

echo
echo "== kvpack info $OUT"
"$KVPACK" info "$OUT"

echo
echo "== kvpack verify $OUT"
"$KVPACK" verify "$OUT"

# ---------------------------------------------------------------------------
# Next stage: run the setup under Wine.
# Here the demo will store the test engine (built in build/win32) as
# Engine.exe instead of the stand-in, run "$OUT" under Wine inside Xvfb and
# print what the engine received (its command line, the extracted files, the
# exit code).
# ---------------------------------------------------------------------------
