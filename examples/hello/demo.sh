#!/usr/bin/env bash
# The Hello demo: packs the files of examples/hello behind stub.exe, with the
# test engine as the program the setup runs, into out/hello-setup.exe, shows
# what the package holds and verifies it, then runs it under Wine inside a
# virtual display: answers its question, prints what the engine received and
# the exit code, and saves screenshots to out/screens/.
# Run from anywhere; `make demo` builds both trees first.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$ROOT"
HELLO=examples/hello
KVPACK="${KVPACK:-build/host/tools/kvpack/kvpack}"
WIN="${WIN:-build/win32}"
CONFIG="${CONFIG:-$WIN/tests/e2e/e2e_config.json}"
OUT="${OUT:-out/hello-setup.exe}"
SCREENS="$(dirname "$OUT")/screens"
REPORT="$(dirname "$OUT")/hello-report.json"

for f in "$KVPACK" "$CONFIG"; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing; \`make demo\` builds it" >&2
    exit 1
  fi
done
# The Windows programs the build made for the Wine this machine runs: the
# 32-bit stub, or on a machine without 32-bit support the 64-bit build of the
# same sources.
read -r ARCH STUB SUPPORT < <(python3 -c '
import json, sys
c = json.load(open(sys.argv[1]))
print(c["arch"], c["stub"], c["support_dir"])' "$CONFIG")
STUB="${STUB_OVERRIDE:-$STUB}"
ENGINE="$SUPPORT/engine.exe"
for f in "$STUB" "$ENGINE"; do
  if [ ! -f "$f" ]; then
    echo "demo: $f is missing; \`make demo\` builds it" >&2
    exit 1
  fi
done
mkdir -p "$(dirname "$OUT")"
rm -rf "$SCREENS"

# The engine writes its report where its engine.cfg says: a Windows path
# (drive Z: is the Linux root under Wine).
ENGINE_CFG="$(dirname "$OUT")/hello-engine.cfg"
WIN_REPORT="Z:$(realpath -m "$REPORT" | tr / '\\')"
printf 'report=%s\nexit=0\n' "$WIN_REPORT" > "$ENGINE_CFG"

echo "== Building $OUT ($ARCH stub: $STUB)"
"$KVPACK" build --stub "$STUB" --out "$OUT" \
  --lang "$HELLO/hello.lang" \
  --main "Engine.exe* /demo" \
  --temp-notice \
  --info-file hello.info --agent-file HelloAgent.exe \
  "Engine.exe=$ENGINE" "engine.cfg=$ENGINE_CFG" \
  "$HELLO/readme.txt" "$HELLO/hello.ini" "$HELLO/license.txt"

echo
echo "== kvpack info $OUT"
"$KVPACK" info "$OUT"

echo
echo "== kvpack verify $OUT"
"$KVPACK" verify "$OUT"

echo
echo "== Running $OUT under Wine"
python3 "$HELLO/run_demo.py" "$CONFIG" "$OUT" "$REPORT" "$SCREENS"
