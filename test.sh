#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under CTest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)

# The fuzz targets need clang's libFuzzer with the sanitizers; they are built apart and
# run for a bounded time as CTest tests of the main build.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDORVAN_FUZZ=ON -DDORVAN_BUILD_UI=OFF -DDORVAN_BUILD_TESTS=OFF -DDORVAN_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" --target dorvan_fuzzers

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVAN_FUZZ_BUILD_DIR="$PWD/build-fuzz" >/dev/null
cmake --build build -j"$jobs"

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"

# The Debian package, built in Release in build-package: its files, its dependencies and
# lintian's verdict.
cd ..
package=$(./scripts/package.sh build-package)
./scripts/check-package.sh "$package"
