#!/bin/bash
# Installs the Debian package with apt-get, runs the installed plughost on the
# installed plug-in, removes the package again at once and checks that every
# path of the package is as it was before. Needs root; it leaves the machine
# alone (and says so) when kdistortion is installed already or when any file
# of the package exists outside it, since the removal would take that away.
# Ends with "N passed, N failed" (or "skipped: REASON"); exit status 0 when
# every check passed or the test was skipped, 1 otherwise, 2 for bad usage.
#
# Usage: deb_install_test.sh PACKAGE.deb
set -u
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 PACKAGE.deb" >&2
    exit 2
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; return 1; fi
}
skip() {
    echo "skipped: $*"
    exit 0
}
installed() { [ "$(dpkg-query -W -f='${Status}' kdistortion 2>/dev/null)" = "install ok installed" ]; }
apt() { apt-get -q -y -o DPkg::Lock::Timeout=600 "$@" </dev/null; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
installed && skip "kdistortion is installed on this machine already; remove it to run this test"
# Every path of the package, as the system has it now.
paths=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | sed '/^$/d' | LC_ALL=C sort)
state() {
    local path
    while read -r path; do
        if [ -d "$path" ]; then echo "d $path"; elif [ -e "$path" ]; then echo "f $path"; else echo "- $path"; fi
    done <<<"$paths"
}
before=$(state)
if grep -q '^f ' <<<"$before"; then
    skip "files of the package exist outside it: $(grep '^f ' <<<"$before" | cut -c3- | tr '\n' ' ')"
fi

# From here on the package comes out again however the test ends.
trap 'installed && apt remove kdistortion >/dev/null' EXIT
trap 'exit 1' INT TERM HUP
log=$(mktemp)
apt install "$deb" >"$log" 2>&1
status=$?
check "apt-get install exits 0" [ "$status" -eq 0 ] || cat "$log"
check "the package is installed" installed
# (A machine may keep documentation out, by dpkg's path-exclude; what it
# installs it lists.)
listed=$(dpkg -L kdistortion 2>/dev/null)
for path in /usr/lib/vst/KDistortion.so /usr/bin/plughost; do
    check "$path is installed" grep -q -x -F "$path" <<<"$listed"
done
missing=""
while read -r path; do
    [ -e "$path" ] || missing="$missing $path"
done <<<"$listed"
check "every path the package lists is there" [ -z "$missing" ] || echo "missing:$missing" >&2
out=$(env -i PATH=/usr/bin:/bin plughost info /usr/lib/vst/KDistortion.so 2>&1)
status=$?
check "plughost info on the installed plug-in exits 0" [ "$status" -eq 0 ] || echo "$out"
check "plughost info names the effect and its vendor" grep -q 'Velkaro' <<<"$out"
if grep -q -x -F /usr/share/man/man1/plughost.1.gz <<<"$listed"; then
    check "man finds the page of plughost" man -w plughost >/dev/null
fi

apt remove kdistortion >"$log" 2>&1
status=$?
check "apt-get remove exits 0" [ "$status" -eq 0 ] || cat "$log"
check "the package is no longer installed" bash -c "! dpkg-query -W -f='\${Status}' kdistortion 2>/dev/null | grep -q ' installed'"
after=$(state)
check "every path of the package is as before the install" [ "$after" = "$before" ] ||
    diff <(echo "$before") <(echo "$after") >&2
rm -f "$log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
