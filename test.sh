#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a release
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, the unit
# and network suites under ThreadSanitizer, then the Windows programs' suite
# under Wine (tools/windows test).
set -euo pipefail
cd "$(dirname "$0")"
tools/bootstrap test

jobs=$(nproc 2>/dev/null || echo 2)
status=0

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs") || status=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIMBEL_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j "$jobs") || status=1

# The suites whose code runs threads (block pipes, side tasks, the loopback
# server), and the vimbel-cli the network suite starts. A vimbel-cli that a
# test ends with a signal leaves its threads behind by design: thread leaks
# are not reported there.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVIMBEL_SANITIZE_THREAD=ON \
  -DVIMBEL_WITH_QT=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target vimbel_unit_tests vimbel_net_tests vimbel-cli
TSAN_OPTIONS=halt_on_error=1 build-tsan/vimbel_unit_tests || status=1
TSAN_OPTIONS=halt_on_error=1:report_thread_leaks=0 build-tsan/vimbel_net_tests || status=1

VIMBEL_JOBS=$jobs tools/windows test || status=1

if [ "$status" -ne 0 ]; then echo "test.sh: FAILED" >&2; fi
exit "$status"
