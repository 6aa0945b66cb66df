#!/bin/sh
# Builds the Debian package into a scratch folder of the build directory and reads it back: its files
# (the installed ones under /usr, owned by root), its control fields, and what its maintainer scripts
# do with the editor alternative (run against a stand-in update-alternatives that only logs).
set -eu
build=$1 version=$2
for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v $tool >/dev/null; then
        echo "$tool not found: the Debian package is not checked (skipped)"
        exit 77
    fi
done
out=$build/test-package
rm -rf "$out"
mkdir -p "$out"
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
deb=$out/zt_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$out"; fail "no $deb"; }

# dpkg-deb -c: mode, owner/group, size, date, time, path [-> target]
listing=$(dpkg-deb -c "$deb")
owners=$(printf '%s\n' "$listing" | awk '{print $2}' | sort -u)
[ "$owners" = root/root ] || fail "owners other than root: $owners"
files=$(printf '%s\n' "$listing" | awk '$1 !~ /^d/ {
    kind = substr($1, 1, 1)
    print kind, $6 (kind == "l" ? " -> " $8 : "")
}' | LC_ALL=C sort)
# Debian wants the manual pages gzipped, and a copyright file and a changelog in every package.
expected="- ./usr/bin/zt
- ./usr/share/doc/zt/README.md
- ./usr/share/doc/zt/changelog.gz
- ./usr/share/doc/zt/copyright
- ./usr/share/man/man1/zt.1.gz
- ./usr/share/man/man1/ztem.1.gz
- ./usr/share/man/man1/ztne.1.gz
- ./usr/share/man/man1/ztpi.1.gz
- ./usr/share/man/man1/ztvi.1.gz
- ./usr/share/man/man1/ztws.1.gz
l ./usr/bin/ztem -> zt
l ./usr/bin/ztne -> zt
l ./usr/bin/ztpi -> zt
l ./usr/bin/ztvi -> zt
l ./usr/bin/ztws -> zt"
if [ "$files" != "$expected" ]; then
    printf '%s\n' "$expected" >"$out/expected"
    printf '%s\n' "$files" | diff -u "$out/expected" - || true
    fail "the package's files are not the installed ones"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zt ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = editors ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
field Maintainer | grep -q '<.*@.*>' || fail "Maintainer: $(field Maintainer)"
field Depends | grep -q 'libc6' || fail "Depends found by shlibdeps: $(field Depends)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"

dpkg-deb -e "$deb" "$out/control"
mkdir -p "$out/fakebin"
cat >"$out/fakebin/update-alternatives" <<LOG
#!/bin/sh
echo "\$*" >>"$out/alternatives.log"
LOG
chmod +x "$out/fakebin/update-alternatives"
for step in "postinst configure" "prerm upgrade 9" "prerm remove"; do
    set -- $step
    script=$1
    shift
    PATH=$out/fakebin:$PATH sh "$out/control/$script" "$@" || fail "$script $*"
done
log=$(cat "$out/alternatives.log")
want="--install /usr/bin/editor editor /usr/bin/ztws 20
--remove editor /usr/bin/ztws"
[ "$log" = "$want" ] || fail "the maintainer scripts ran update-alternatives as:
$log"

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$out/lintian.log" 2>&1 || true
    if grep -q '^E:' "$out/lintian.log"; then
        cat "$out/lintian.log"
        fail "lintian reports errors"
    fi
    echo "lintian: no errors ($(grep -c '^[WI]:' "$out/lintian.log" || true) warnings and notes)"
else
    echo "lintian not installed: not run"
fi
rm -rf "$out"
echo "package $deb checked"
