#!/usr/bin/env bash
# Installs what is missing, builds, and starts vimbel.
set -euo pipefail
cd "$(dirname "$0")"
tools/bootstrap
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
if [ -x build/vimbel ]; then
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    exec build/vimbel "$@"
  fi
  echo "run.sh: no display to show the window on (DISPLAY is not set)." >&2
fi
# Without the window, show what the engine does on the bundled sample page.
[ -x build/vimbel ] || echo "run.sh: the window is not built." >&2
echo "run.sh: harvesting the sample page instead." >&2
exec build/vimbel-cli --stdout --list --open resources/sample/page.html http://example.com/gallery/
