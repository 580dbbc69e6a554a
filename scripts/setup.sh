#!/usr/bin/env bash
# Installs whatever the build needs and is missing (Debian packages), so that
# ./run.sh and ./test.sh work on a fresh Debian 12 machine.
set -euo pipefail

# libqhull-dev: the physics library's CMake package names the qhull headers'
# folder without depending on the package that provides it.
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev locales libmujoco-dev libqhull-dev libnlopt-dev libnlopt-cxx-dev libsdl2-dev
  xvfb xauth fonts-dejavu-core fonts-dejavu-extra
  dpkg-dev file lintian appstream desktop-file-utils man-db groff-base gzip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "error: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}"
