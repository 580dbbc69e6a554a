#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in the normal and
# the sanitizer build, headless; then makes the Debian package from the normal
# build, checks it, and leaves it in build/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
for preset in default sanitize; do
  echo "== $preset build =="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

scripts/check-package.sh build
