#!/usr/bin/env bash
# Packs the build tree into a .deb and checks what the package holds: every installed file at its
# path, a valid desktop entry, the icons of every size, no lintian error.
#   check-deb.sh BUILD_DIR
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#' >"$out/files"
status=0
want=(/usr/bin/tk_corvane /usr/share/applications/tk_corvane.desktop /usr/share/man/man1/tk_corvane.1.gz
      /usr/share/doc/tk-corvane/copyright /usr/share/doc/tk-corvane/changelog.gz)
for size in 16 32 48 64 128 256; do
    want+=("/usr/share/icons/hicolor/${size}x${size}/apps/tk_corvane.png")
done
for f in "${want[@]}"; do
    grep -qxF "$f" "$out/files" || { echo "missing from the package: $f"; status=1; }
done
if grep -E '^/usr/(bin|sbin)/' "$out/files" | grep -vxF /usr/bin/tk_corvane | grep -v '/$'; then
    echo "the package installs other programs"; status=1
fi
dpkg-deb -x "$deb" "$out/root"
desktop-file-validate "$out/root/usr/share/applications/tk_corvane.desktop" || status=1
for size in 16 32 48 64 128 256; do
    file "$out/root/usr/share/icons/hicolor/${size}x${size}/apps/tk_corvane.png" | grep -q "PNG image data, $size x $size" ||
        { echo "icon $size is not a $size-pixel PNG"; status=1; }
done
dpkg-deb -f "$deb" Depends | grep -q odbc-mariadb || { echo "the package does not depend on the ODBC driver"; status=1; }
if lintian --no-tag-display-limit "$deb" 2>/dev/null | grep '^E:'; then
    echo "lintian reports errors"; status=1
fi
[ $status = 0 ] && echo "package ok: $(wc -l <"$out/files") entries"
exit $status
