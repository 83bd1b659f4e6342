#!/usr/bin/env bash
# Runs valgrind's memcheck over full decodes: every test stream through the
# public interface (plain, damaged, with failing hooks and failing
# allocations) and the fuzz targets over their committed inputs.  Memcheck
# sees what the sanitizers do not: reads of memory never written, such as
# workspace fields a frame left alone.  Fails on any error or leak.
#
#   tools/valgrind_check.sh [BUILD_DIR]     (a build with tests, no sanitizers)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

memcheck() {
    echo "== memcheck: $*"
    valgrind --quiet --error-exitcode=99 --leak-check=full \
        --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible \
        --track-origins=yes "$@" > /dev/null
}

memcheck "$build/tests/lumdec_tests" \
    --gtest_filter='*StreamParse*:*Conformance*:*DamagedStreams*:HostHooks*:FaultInjection*'
memcheck "$build/fuzz/fuzz_decode" fuzz/corpus/decode fuzz/regressions/decode
memcheck "$build/fuzz/fuzz_create" fuzz/corpus/create
memcheck "$build/fuzz/fuzz_readers" fuzz/corpus/readers
echo "memcheck: no errors, no leaks"
