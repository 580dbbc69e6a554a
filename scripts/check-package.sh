#!/usr/bin/env bash
# Makes the Debian package in a build folder and checks it as Debian, software
# centres and desktops will see it: lintian, the AppStream metadata, the
# desktop entry, the manual page, and the program run from the unpacked
# package. The package stays in the build folder.
#   scripts/check-package.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)

fail() {
  echo "check-package: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
deb=$build/gaitpanel_${version}_$(dpkg --print-architecture).deb

echo "== Debian package =="
rm -f "$deb"
if ! (cd "$build" && cpack -G DEB >cpack.log 2>&1); then
  cat "$build/cpack.log" >&2
  fail "cpack -G DEB failed"
fi
[ -f "$deb" ] || fail "cpack did not make $deb"
echo "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"

# The libraries must come from dpkg-shlibdeps, the window-system plugins by
# name: a package that installs but cannot open a window is worse than none.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libqt6serialport6 libqt6widgets6 qt6-qpa-plugins; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

echo "== lintian =="
status=0
report=$(lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ $status -eq 0 ] || fail "lintian reports errors on $deb"

echo "== AppStream and desktop entry =="
shopt -s nullglob
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] || fail "expected one metainfo file, found ${#metainfo[@]}"
id=$(basename "${metainfo[0]}" .metainfo.xml)
desktop=$root/usr/share/applications/$id.desktop
[ -f "$desktop" ] || fail "no desktop entry named after the id $id"
appstreamcli validate --no-net "${metainfo[0]}"
# The whole tree: the metainfo's launchable must be the desktop entry shipped.
appstreamcli validate-tree --no-net "$root"
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
# Each action that names a preset by name finds it in the package.
for gait in $(sed -n 's/^Exec=.*--gait \([^ ]*\).*/\1/p' "$desktop"); do
  [ -f "$root/usr/share/gaitpanel/gaits/$gait.json" ] || fail "the desktop entry's preset '$gait' is not shipped"
done
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/256x256/apps/$icon.png" ] || fail "the entry's icon '$icon' is not shipped"

echo "== the program from the package =="
program=$root/usr/bin/gaitpanel
# As a person runs it from a terminal with no display at hand.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
got=$("${headless[@]}" "$program" --version) || fail "gaitpanel --version failed"
[ "$got" = "Gait Panel $version" ] || fail "gaitpanel --version printed '$got', not 'Gait Panel $version'"
help=$("${headless[@]}" "$program" --help) || fail "gaitpanel --help failed"
[[ "$help" == *"--port"* ]] || fail "gaitpanel --help does not list --port"
echo "$got"
# The presets and the physics come with the package: the installed program runs
# one of them on the virtual robot, headless.
preset=$root/usr/share/gaitpanel/gaits/lateral-undulation.json
result=$("${headless[@]}" "$program" --simulate "$preset" --seconds 1) || fail "gaitpanel --simulate on the packaged preset failed"
[[ "$result" == "{"*'"distance_m"'* ]] || fail "gaitpanel --simulate printed no result: $result"
# By its name alone, as the desktop entry's action names it.
result=$("${headless[@]}" "$program" --simulate lateral-undulation --seconds 1) || fail "gaitpanel --simulate lateral-undulation failed"
[[ "$result" == "{"*'"distance_m"'* ]] || fail "gaitpanel --simulate lateral-undulation printed no result: $result"

echo "== manual page =="
page=$root/usr/share/man/man1/gaitpanel.1.gz
[ -f "$page" ] || fail "no manual page at usr/share/man/man1/gaitpanel.1.gz"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man cannot render $page"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
source=$(zcat "$page")
missing=()
for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
  [[ "$source" == *"${option//-/\\-}"* ]] || missing+=("$option")
done
[ ${#missing[@]} -eq 0 ] || fail "doc/gaitpanel.1 does not document ${missing[*]}, which gaitpanel --help lists"
# Nor may it promise an option the program does not take.
for option in $(grep -v '^\.\\"' <<<"$source" | grep -oE -- '\\-\\-[a-z][a-z0-9]*(\\-[a-z0-9]+)*' | sed 's/\\//g' | sort -u); do
  [[ "$help" == *"$option"* ]] || fail "doc/gaitpanel.1 documents $option, which gaitpanel --help does not list"
done

# One version everywhere a person or a software centre reads it.
head=$(zcat "$root/usr/share/doc/gaitpanel/changelog.gz" | head -n 1)
[[ "$head" == "gaitpanel ($version) "* ]] || fail "doc/changelog starts with '$head', not version $version"
release=$(grep -o -m 1 '<release version="[^"]*"' "${metainfo[0]}")
[ "$release" = "<release version=\"$version\"" ] || fail "the metainfo's newest release is $release, not $version"
[[ "$source" == *"\"gaitpanel $version\""* ]] || fail "the manual page's title line does not name version $version"

echo "package checks passed: $(basename "$deb")"
