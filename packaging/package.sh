#!/usr/bin/env bash
# Makes the installer and the portable zip of both Windows builds into $BUILD/dist:
#
#   qsopad-VERSION-x86_64-setup.exe   qsopad-VERSION-x86_64.zip   from $BUILD/win64
#   qsopad-VERSION-i686-setup.exe     qsopad-VERSION-i686.zip     from $BUILD/win32
#
# VERSION is QSOPAD_VERSION_TEXT of src/win32/resource.h, the version resource's own. The
# builds must exist (test.sh makes them: qsopad and qsopad-fcc in each). Prints the sizes.
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

die() { echo "package.sh: $*" >&2; exit 1; }

ensure_packages || die "cannot install makensis and zip"

header="$ROOT/src/win32/resource.h"
version=$(sed -nE 's/^#define[[:space:]]+QSOPAD_VERSION_TEXT[[:space:]]+"([^"]*)".*/\1/p' "$header")
numbers=$(sed -nE 's/^#define[[:space:]]+QSOPAD_VERSION_NUMBERS[[:space:]]+([0-9, ]+)$/\1/p' "$header" |
          tr -d ' ' | tr , .)
[[ "$version" =~ ^[0-9][0-9A-Za-z.+-]*$ ]] ||
  die "no usable QSOPAD_VERSION_TEXT in $header (found \"$version\")"
[[ "$numbers" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  die "no four QSOPAD_VERSION_NUMBERS in $header (found \"$numbers\")"
# The text names the same version as the numbers, which the installer's resource carries
# (the text may add a suffix: 0.2.0-beta with 0, 2, 0, 0).
[[ "$numbers.0.0.0" == "${version%%[!0-9.]*}".* ]] ||
  die "QSOPAD_VERSION_TEXT $version and QSOPAD_VERSION_NUMBERS $numbers disagree in $header"

dist="$BUILD/dist"
mkdir -p "$dist"
# Nothing of an earlier run may pass for this one's.
rm -f "$dist"/qsopad-*-setup.exe "$dist"/qsopad-*.zip

# package ARCH BUILD_DIR OBJDUMP_FORMAT
package() {
  local arch="$1" build="$2" format="$3"
  local bits=64; [ "$arch" = i686 ] && bits=32
  local stage="$dist/stage-$arch" payload="$dist/stage-$arch/QSOPAD"
  local setup="$dist/qsopad-$version-$arch-setup.exe" zipfile="$dist/qsopad-$version-$arch.zip"

  rm -rf "$stage"
  mkdir -p "$payload/images"
  cp "$build/src/win32/qsopad.exe" "$build/tools/qsopad-fcc.exe" "$ROOT/docs/manual.htm" "$payload/" ||
    die "the $arch build lacks qsopad.exe or qsopad-fcc.exe (in $build)"
  cp "$ROOT"/docs/images/* "$payload/images/"

  # Each program is of the build's architecture: a 64-bit file in the 32-bit package would
  # not start on the Windows that needs that package.
  local exe found
  for exe in qsopad.exe qsopad-fcc.exe; do
    found=$(x86_64-w64-mingw32-objdump -f "$payload/$exe" | sed -nE 's/.*file format ([^ ]+).*/\1/p')
    [ "$found" = "$format" ] || die "$build: $exe is $found, not $format"
  done
  # Every picture the manual shows is in the package.
  local image
  for image in $(grep -oE 'src="images/[^"]+"' "$payload/manual.htm" | sed -E 's/src="(.*)"/\1/' | sort -u); do
    [ -f "$payload/$image" ] || die "docs/manual.htm shows $image, which docs/$image does not provide"
  done

  rm -f "$setup"
  makensis -V2 -WX -DVERSION="$version" -DVERSION4="$numbers" -DARCH="$arch" \
    -DPAYLOAD="$payload" -DOUTFILE="$setup" "$ROOT/packaging/qsopad.nsi" ||
    die "makensis failed for $arch"
  # A 32-bit installer, even for the 64-bit build, so that on a 32-bit Windows it can start
  # and say that it needs the 32-bit QSOPAD.
  found=$(x86_64-w64-mingw32-objdump -f "$setup" | sed -nE 's/.*file format ([^ ]+).*/\1/p')
  [ "$found" = pei-i386 ] || die "$setup is $found, not a 32-bit program"

  # The portable folder: an empty QSOPAD.ini beside the program keeps the settings there.
  : > "$payload/QSOPAD.ini"
  sed -e "s/@VERSION@/$version/; s/@BITS@/$bits/" -e 's/$/\r/' "$ROOT/packaging/README.txt" \
    > "$payload/README.txt"
  rm -f "$zipfile"
  (cd "$stage" && zip -q -X -r -9 "$zipfile" QSOPAD) || die "zip failed for $arch"
  rm -rf "$stage"
}

package x86_64 "$BUILD/win64" pei-x86-64
package i686 "$BUILD/win32" pei-i386

log "packages of QSOPAD $version in $dist"
for f in "$dist"/qsopad-"$version"-{x86_64,i686}{-setup.exe,.zip}; do
  size=$(stat -c %s "$f")
  printf '    %-34s %8s  (%d bytes)\n' "$(basename "$f")" "$(numfmt --to=iec-i --suffix=B "$size")" "$size"
done
