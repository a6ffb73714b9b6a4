#!/usr/bin/env bash
# Builds the package from BUILD_DIR and checks what it holds, its control fields, and, when the
# validators are installed, its desktop entry, AppStream metainfo and the package as a whole.
# Usage: package_test.sh CPACK BUILD_DIR VERSION LANGUAGES_DIR
set -euo pipefail
cpack="$1"
build="$2"
version="$3"
languages="$4"

if ! command -v dpkg-shlibdeps >/dev/null; then
  echo "dpkg-shlibdeps is missing (package dpkg-dev): skipped"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# gzip instead of the package's xz: the contents are the same, and xz over the models takes
# over a minute on two cores where gzip takes seconds.
if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
  >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
deb="$work/grandora_${version}_$(dpkg --print-architecture).deb"
if [ ! -f "$deb" ]; then
  ls "$work"
  echo "FAIL: no package named $(basename "$deb")"
  exit 1
fi

# Contents: the program, its data found relative to it, and what the desktop and dpkg read.
dpkg-deb -c "$deb" >"$work/contents"
awk '{ print $6 }' "$work/contents" | sed 's|^\./|/|; s|/$||' >"$work/paths"
expected=(
  /usr/bin/grandora
  /usr/bin/grandora-enlarge
  /usr/lib/grandora/license.txt
  /usr/lib/grandora/Languages/LanguageCodes.csv
  /usr/share/applications/grandora.desktop
  /usr/share/metainfo/example.zelmora.grandora.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/grandora.svg
  /usr/share/icons/hicolor/48x48/apps/grandora.png
  /usr/share/icons/hicolor/256x256/apps/grandora.png
  /usr/share/man/man1/grandora.1.gz
  /usr/share/doc/grandora/copyright
  /usr/share/doc/grandora/changelog.gz
)
for language in "$languages"/*.lang.txt; do
  expected+=("/usr/lib/grandora/Languages/$(basename "$language")")
done
upscaler=(
  /usr/lib/grandora/realesrgan/realesrgan-ncnn-vulkan
  /usr/lib/grandora/realesrgan/models/realesrgan-x4plus.param
  /usr/lib/grandora/realesrgan/models/realesrgan-x4plus.bin
  /usr/lib/grandora/realesrgan/LICENSE
)
artwork=(
  /usr/lib/grandora/realesrgan/models/realesrgan-x4plus-anime.param
  /usr/lib/grandora/realesrgan/models/realesrgan-x4plus-anime.bin
  /usr/lib/grandora/realesrgan/models/realesr-animevideov3-x2.bin
  /usr/lib/grandora/realesrgan/models/realesr-animevideov3-x3.bin
  /usr/lib/grandora/realesrgan/models/realesr-animevideov3-x4.bin
  /usr/lib/grandora/realesrgan/models/LICENSE-artwork.txt
)
if [ -x "$build/bin/realesrgan/realesrgan-ncnn-vulkan" ]; then
  expected+=("${upscaler[@]}")
elif grep -q '^/usr/lib/grandora/realesrgan/realesrgan-ncnn-vulkan' "$work/paths"; then
  fail "the build has no upscaler, yet the package carries one"
fi
# The Artwork models come from a package of their own and can be there without the upscaler.
if [ -s "$build/bin/realesrgan/models/realesrgan-x4plus-anime.bin" ]; then
  expected+=("${artwork[@]}")
fi
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/paths" || fail "$path is missing from the package"
done
if grep -v -e '^/usr/' -e '^/usr$' -e '^$' "$work/paths"; then
  fail "the lines above lie outside /usr"
fi
grep -qE '^-rwxr-xr-x root/root .* \./usr/bin/grandora$' "$work/contents" ||
  fail "/usr/bin/grandora is not an executable of root: $(grep 'usr/bin/grandora' "$work/contents")"

# Control fields: the version of the project, and Depends from the program's libraries plus
# what the upscaler loads.
[ "$(dpkg-deb -f "$deb" Package)" = grandora ] || fail "Package is not grandora"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6widgets6 libcurl4 libvulkan1 mesa-vulkan-drivers qt6-qpa-plugins libdnnl2; do
  [[ ", $depends," =~ ,\ $package[\ ,] ]] || fail "Depends lacks $package: $depends"
done

# The icons are the sizes their folders promise (a PNG's width and height follow its signature
# and the IHDR chunk's header, as 32-bit big-endian numbers).
dpkg-deb -x "$deb" "$work/root"
for size in 48 256; do
  png="$work/root/usr/share/icons/hicolor/${size}x${size}/apps/grandora.png"
  [ -f "$png" ] || continue
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
  [ $(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4)) -eq "$size" ] &&
    [ $(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4)) -eq "$size" ] ||
    fail "the ${size}x${size} icon is not $size pixels square"
done

desktop="$work/root/usr/share/applications/grandora.desktop"
grep -qx 'Exec=grandora %F' "$desktop" || fail "the desktop entry does not start grandora with files"
grep -qx 'MimeType=image/png;image/jpeg;image/webp;image/bmp;image/tiff;image/gif;' "$desktop" ||
  fail "the desktop entry does not offer the program for the image types it enlarges"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 || true
  if [ -s "$work/desktop.log" ]; then
    cat "$work/desktop.log"
    fail "desktop-file-validate reported the lines above"
  fi
else
  echo "desktop-file-validate is not installed: the desktop entry is not validated"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic \
    "$work/root/usr/share/metainfo/example.zelmora.grandora.metainfo.xml" ||
    fail "appstreamcli found faults in the metainfo"
else
  echo "appstreamcli is not installed: the metainfo is not validated"
fi
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reported errors"
else
  echo "lintian is not installed: the package is not checked as a whole"
fi

[ "$failures" -eq 0 ] || exit 1
echo "The package $(basename "$deb") holds $(wc -l <"$work/paths") entries; all checks passed"
