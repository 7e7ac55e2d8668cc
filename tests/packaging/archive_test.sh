#!/bin/bash
# Checks what scripts/package wrote into DIST_DIR: each archive holds exactly
# its files; manual.html shows every picture of docs/manual.md and refers to
# nothing outside itself that the archive lacks; each Windows zip's
# plughost.exe is of the zip's bitness and its THIRD-PARTY.txt names every
# cross-built library with a version and a licence; the Linux INSTALL.txt names
# the package of every library plughost links; the Debian package has its
# fields, its files owned by root, and no lintian error.
# Ends with "N passed, N failed"; exit status 0 only when every check passed,
# 2 for bad usage.
#
# Usage: archive_test.sh DIST_DIR VERSION MANUAL_MD WORK_DIR
set -u
if [ $# -ne 4 ]; then
    echo "usage: $0 DIST_DIR VERSION MANUAL_MD WORK_DIR" >&2
    exit 2
fi
dist=$1 version=$2 manual_md=$3 work=$4
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; return 1; fi
}
is() { [ "$1" = "$2" ] || { printf 'got:\n%s\nexpected:\n%s\n' "$1" "$2" >&2; return 1; }; }

rm -rf "$work"
mkdir -p "$work"

# Every picture of the Markdown is in the HTML, and whatever the HTML refers
# to (pictures, style sheets, scripts, links) is inside it, a web address,
# or a file beside it in the archive.
check_manual() { # check_manual ARCHIVE_NAME UNPACKED_DIR
    local name=$1 dir=$2 html=$2/manual.html reference missing="" pictures embedded broken=0 data
    pictures=$(grep -o '!\[[^]]*\]([^)]*)' "$manual_md" | wc -l)
    embedded=$(grep -o '<img [^>]*src="data:image/svg+xml;base64,' "$html" | wc -l)
    check "$name: manual.html shows all $pictures pictures of the manual" is "$embedded" "$pictures"
    while read -r reference; do
        case $reference in
        '' | data:* | http://* | https://* | mailto:* | '#'*) ;;
        *) [ -e "$dir/${reference%%#*}" ] || missing="$missing $reference" ;;
        esac
    done < <(grep -o -E '(src|href)="[^"]*"' "$html" | sed -E 's/^(src|href)="(.*)"$/\2/')
    check "$name: everything manual.html refers to is in the archive" is "$missing" ""
    # Each embedded picture decodes to an SVG image.
    while read -r data; do
        base64 -d <<<"$data" 2>/dev/null | head -c 300 | grep -q '<svg' || broken=$((broken + 1))
    done < <(grep -o 'src="data:image/svg+xml;base64,[^"]*"' "$html" | sed -e 's/^src="data:image\/svg+xml;base64,//' -e 's/"$//')
    check "$name: every embedded picture is an SVG" is "$broken" 0
}

for bits in 32 64; do
    name=KDistortion-$version-win$bits
    mkdir -p "$work/$name"
    (cd "$work/$name" && unzip -q "$dist/$name.zip")
    check "$name.zip holds the DLL, plughost.exe, the manuals, the licences and the install note" \
        is "$(cd "$work/$name" && find . -type f | LC_ALL=C sort)" \
        "$(printf "./$name/%s\n" INSTALL.txt KDistortion.dll LICENSE.txt THIRD-PARTY.txt bin/plughost.exe manual.html \
            plughost.html | LC_ALL=C sort)"
    check_manual "$name.zip" "$work/$name/$name"
    [ "$bits" = 32 ] && format=pei-i386 || format=pei-x86-64
    check "$name.zip: plughost.exe is a $bits-bit program" \
        grep -q "file format $format" <<<"$(x86_64-w64-mingw32-objdump -f "$work/$name/$name/bin/plughost.exe")"
    check "$name.zip: plughost.html is plughost's documentation" \
        grep -q '<h2 id="exit-codes">Exit codes</h2>' "$work/$name/$name/plughost.html"
    # The table: library, Debian source version, licence.
    check "$name.zip: THIRD-PARTY.txt gives a version and a licence for each library" \
        is "$(awk '$1 == "Library" { table = 1; next } table && NF == 0 { exit } table && NF >= 3 { print $1 }' \
            "$work/$name/$name/THIRD-PARTY.txt" | LC_ALL=C sort | tr '\n' ' ')" \
        "fftw3 flac lame libogg libsndfile libsoxr libvorbis mpg123 opus "
    check "$name.zip: INSTALL.txt names the installer" \
        grep -q -F "KDistortion-$version-win$bits-setup.exe" "$work/$name/$name/INSTALL.txt"
done

name=KDistortion-$version-linux-x86_64
tar -xzf "$dist/$name.tar.gz" -C "$work"
check "$name.tar.gz holds the plug-in, plughost and the texts" \
    is "$(cd "$work" && find "$name" -type f | LC_ALL=C sort)" \
    "$(printf '%s/%s\n' "$name" INSTALL.txt "$name" KDistortion.so "$name" LICENSE.txt "$name" bin/plughost \
        "$name" manual.html | LC_ALL=C sort)"
check_manual "$name.tar.gz" "$work/$name"
# The package of every library plughost links directly, by its Debian name.
unlisted=""
while read -r library; do
    # "libx.so.1 => /path (address)", or "/path/ld-linux... (address)" for the loader
    path=$(ldd "$work/$name/bin/plughost" |
        awk -v l="$library" '$1 == l { print $3; exit } substr($1, length($1) - length(l)) == "/" l { print $1; exit }')
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)
    grep -q -w -F -- "${owner:-$library}" "$work/$name/INSTALL.txt" || unlisted="$unlisted ${owner:-$library}"
done < <(objdump -p "$work/$name/bin/plughost" | awk '$1 == "NEEDED" { print $2 }')
check "$name.tar.gz: INSTALL.txt names the package of every library plughost needs" is "$unlisted" ""

deb=$dist/kdistortion_${version}_amd64.deb
field() { dpkg-deb -f "$deb" "$1"; }
check "the .deb is kdistortion $version for amd64" is "$(field Package) $(field Version) $(field Architecture)" \
    "kdistortion $version amd64"
check "the .deb depends on the libraries of plughost" grep -q 'libsndfile1' <<<"$(field Depends)"
check "the .deb depends on the resampling library of plughost" grep -q 'libsoxr0' <<<"$(field Depends)"
check "the .deb holds the plug-in, plughost, its man page and the documents" \
    is "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort)" \
    "$(printf '%s\n' ./usr/bin/plughost ./usr/lib/vst/KDistortion.so ./usr/share/doc/kdistortion/changelog.gz \
        ./usr/share/doc/kdistortion/copyright ./usr/share/doc/kdistortion/manual.html \
        ./usr/share/man/man1/plughost.1.gz | LC_ALL=C sort)"
check "everything in the .deb belongs to root" is "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')" ""
lintian_log=$work/lintian.log
lintian --fail-on error "$deb" >"$lintian_log" 2>&1
status=$?
check "lintian finds no error in the .deb" is "$status" 0 || cat "$lintian_log" >&2
grep -E '^[EW]:' "$lintian_log" >&2

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
