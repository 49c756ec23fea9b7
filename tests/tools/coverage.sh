#!/bin/sh
# Line and branch coverage of src/ by the whole suite: a gcov build in build-cov/ (or $BUILD),
# every test but the benchmark guard, then gcovr's summary and an HTML report in
# $BUILD/coverage/. Branches the compiler adds for exceptions and for lines without code are
# left out of the branch figure.
set -e
cd "$(dirname "$0")/../.."
BUILD=${BUILD:-build-cov}
JOBS=${JOBS:-$(nproc)}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLORY_WERROR=ON -DQUILLORY_COVERAGE=ON
cmake --build "$BUILD" -j"$JOBS"
find "$BUILD" -name '*.gcda' -delete
ctest --test-dir "$BUILD" -j"$JOBS" -E '^bench\.' --output-on-failure || echo "coverage.sh: some tests failed"
mkdir -p "$BUILD/coverage"
gcovr -r . --filter 'src/' --exclude-throw-branches --exclude-unreachable-branches -j"$JOBS" \
    --print-summary --html-details "$BUILD/coverage/index.html" "$BUILD"
