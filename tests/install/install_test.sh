#!/bin/sh
# Installs into a scratch DESTDIR under the build directory: the program, its five names as relative
# links, a manual page for each name and the README, nothing else; the uninstall takes exactly those
# away again. The manifest is a component's, so that a real install's install_manifest.txt stays.
set -eu
build=$1 docdir=$2 source=$3
root=$build/test-install
prefix=/opt/zt-test
rm -rf "$root" "$root.expected"
DESTDIR=$root cmake --install "$build" --prefix "$prefix" --component Unspecified >/dev/null
manifest=$build/install_manifest_Unspecified.txt

fail() { echo "FAIL: $*"; exit 1; }

expected=$(cat <<LIST
bin/zt
bin/ztem
bin/ztne
bin/ztpi
bin/ztvi
bin/ztws
$docdir/README.md
share/man/man1/zt.1
share/man/man1/ztem.1
share/man/man1/ztne.1
share/man/man1/ztpi.1
share/man/man1/ztvi.1
share/man/man1/ztws.1
LIST
)
found=$(cd "$root$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$found" != "$expected" ]; then
    printf '%s\n' "$expected" >"$root.expected"
    printf '%s\n' "$found" | diff -u "$root.expected" - || true
    fail "the installed files are not the expected ones"
fi

[ -f "$root$prefix/bin/zt" ] && [ ! -L "$root$prefix/bin/zt" ] && [ -x "$root$prefix/bin/zt" ] ||
    fail "bin/zt is no executable file"
for name in ztws ztem ztpi ztvi ztne; do
    [ -L "$root$prefix/bin/$name" ] || fail "bin/$name is no link"
    [ "$(readlink "$root$prefix/bin/$name")" = zt ] || fail "bin/$name does not point to zt beside it"
    [ "$(cat "$root$prefix/share/man/man1/$name.1")" = ".so man1/zt.1" ] || fail "$name.1 is no .so page"
done
cmp -s "$source/man/zt.1" "$root$prefix/share/man/man1/zt.1" || fail "zt.1 differs from the source"
cmp -s "$source/README.md" "$root$prefix/$docdir/README.md" || fail "README.md differs from the source"
"$root$prefix/bin/ztvi" --version | grep -q '^zt ' || fail "the installed program does not run"

# Each name's page reads as the whole manual where the manual pages are installed.
if command -v groff >/dev/null; then
    warnings=$(cd "$root$prefix/share/man" && groff -ww -z -man man1/ztne.1 2>&1)
    [ -z "$warnings" ] || fail "groff: $warnings"
    lines=$(cd "$root$prefix/share/man" && groff -man -Tascii -P-cbou man1/ztne.1 2>/dev/null | grep -c 'NEDIT MODE')
    [ "$lines" -ge 1 ] || fail "ztne.1 does not bring in the manual"
fi

DESTDIR=$root cmake -DMANIFEST="$manifest" -DDOCDIR="$docdir" -P "$source/tools/uninstall.cmake" >/dev/null
left=$(find "$root$prefix" ! -type d)
[ -z "$left" ] || fail "left after the uninstall: $left"
[ ! -e "$root$prefix/$docdir" ] || fail "the documentation folder is left"
rm -rf "$root" "$root.expected" "$manifest"
echo "installed and uninstalled: $(printf '%s\n' "$expected" | wc -l) files and links"
