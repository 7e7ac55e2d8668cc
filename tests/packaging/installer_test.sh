#!/bin/bash
# Runs both Windows installers under Wine, silently, in a Wine prefix of its
# own (made afresh, removed at the end): into the default folder, into the folder
# the registry names (VSTPluginsPath in the installer's registry view, with a
# decoy in the other view), into a chosen folder, with plughost's folder
# added to PATH (/AddToPath; plughost then runs by its name), and once with a
# failing copy; every install is followed by the silent uninstall, after
# which the drive and the system PATH must be as before. The uninstaller also
# runs in place (_?=FOLDER, as deployment tools run it). Ends with
# "N passed, N failed"; exit status 0 only when every check passed, 2 for bad
# usage.
#
# Usage: installer_test.sh DIST_DIR VERSION WORK_DIR
set -u
if [ $# -ne 3 ]; then
    echo "usage: $0 DIST_DIR VERSION WORK_DIR" >&2
    exit 2
fi
dist=$1 version=$2 work=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=$work/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
drive=$WINEPREFIX/drive_c
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; return 1; fi
}
is() { [ "$1" = "$2" ] || { echo "got [$1], expected [$2]" >&2; return 1; }; }
absent() { [ ! -e "$1" ] || { echo "$1 is still there" >&2; return 1; }; }

rm -rf "$work"
mkdir -p "$work"
trap '"$here/../../cmake/wine-session" stop "$WINEPREFIX"; rm -rf "$work"' EXIT
trap 'exit 1' INT TERM HUP
if ! "$here/../../cmake/wine-session" start "$WINEPREFIX"; then
    echo "installer_test: Wine does not start in $WINEPREFIX" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

# Everything on drive C: outside the Windows folder and the user profiles
# (Wine's own, and the uninstaller's temporary copy).
drive_listing() {
    (cd "$drive" && find . -path ./windows -prune -o -path ./users -prune -o -print | LC_ALL=C sort)
}
# reg BITS ARGS...: Wine's reg in the 32- or 64-bit registry view.
reg() {
    local bits=$1
    shift
    wine reg "$@" "/reg:$bits" >/dev/null 2>&1
}
# Runs a program; its exit status lands in $status.
run() {
    wine "$@" >/dev/null 2>&1
    status=$?
}
# The system PATH as the registry holds it (unexpanded).
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
system_path() {
    wine reg query "$environment" /v PATH 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *PATH *REG_EXPAND_SZ *//p; s/^ *PATH *REG_SZ *//p'
}
set_system_path() { wine reg add "$environment" /v PATH /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1; }
path_before=$(system_path)
if [ -z "$path_before" ]; then
    echo "installer_test: no PATH in the Wine registry" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

# The uninstaller returns at once and does its work from a copy of itself;
# its last step removes the entry KEY from the registry view BITS. Waits up
# to a minute for that.
wait_for_uninstall() {
    local key=$1 bits=$2 waited=0
    while wine reg query "$key" "/reg:$bits" >/dev/null 2>&1 && [ $waited -lt 60 ]; do
        sleep 1
        waited=$((waited + 1))
    done
}

for bits in 32 64; do
    setup=$dist/KDistortion-$version-win$bits-setup.exe
    expected=$work/expected-$bits
    mkdir -p "$expected"
    (cd "$expected" && unzip -q "$dist/KDistortion-$version-win$bits.zip")
    package=$expected/KDistortion-$version-win$bits
    if [ "$bits" = 32 ]; then
        program_files="Program Files (x86)" other=64
    else
        program_files="Program Files" other=32
    fi
    docs="$drive/$program_files/K Distortion"
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KDistortion-win'$bits
    vst='HKLM\Software\VST'

    bin_folder="C:\\$program_files\\K Distortion\\bin"

    # install_and_remove WHAT PLUGIN_FOLDER [SETUP_ARGS...]: one install and
    # one uninstall, checked. With /AddToPath among the arguments, PATH must
    # end in plughost's folder until the uninstall; with IN_PLACE=1 the
    # uninstaller runs in place and is the one file left, for its caller to
    # delete.
    install_and_remove() {
        local what="$bits-bit, $1" folder=$2 expected_path=$path_before file
        shift 2
        [[ " $* " != *" /AddToPath "* ]] || expected_path="$path_before;$bin_folder"
        local before
        before=$(drive_listing)
        run "$setup" /S "$@"
        check "$what: the installer exits 0" is "$status" 0
        check "$what: the DLL is the package's" cmp -s "$package/KDistortion.dll" "$folder/KDistortion.dll"
        check "$what: plughost.exe is the package's" cmp -s "$package/bin/plughost.exe" "$docs/bin/plughost.exe"
        for file in manual.html plughost.html LICENSE.txt THIRD-PARTY.txt; do
            check "$what: $file is installed" cmp -s "$package/$file" "$docs/$file"
        done
        check "$what: no temporary file is left" is "$(drive_listing | grep -c -e '\.kd-new$' -e '\.kd-old$')" 0
        check "$what: the installed programs list it" reg "$bits" query "$key" /v UninstallString
        check "$what: it names the plug-in folder" \
            grep -q -F "$(winepath -w "$folder")" <<<"$(wine reg query "$key" /v PluginFolder "/reg:$bits" 2>/dev/null)"
        check "$what: the system PATH" is "$(system_path)" "$expected_path"
        local path_after=$path_before
        if [ "$expected_path" != "$path_before" ]; then
            check "$what: a new command prompt runs plughost by its name" \
                grep -q -F "$version" <<<"$(wine cmd /c plughost --version 2>/dev/null | tr -d '\r')"
            # An entry added after the install stays after the uninstall.
            path_after="$path_before;C:\\kd-later-$bits"
            set_system_path "$expected_path;C:\\kd-later-$bits"
        fi
        if [ "${IN_PLACE:-0}" = 1 ]; then
            # The command line as a deployment tool writes it: Wine would
            # quote an argument with spaces, and NSIS reads only a bare _?=.
            printf '"%s" /S _?=%s\r\n' "$(winepath -w "$docs/uninstall.exe")" "$(winepath -w "$docs")" \
                >"$drive/windows/temp/kd-in-place.bat"
            run cmd /c 'C:\windows\temp\kd-in-place.bat'
            check "$what: the uninstaller exits 0" is "$status" 0
            check "$what: only the uninstaller itself is left" is "$(drive_listing)" \
                "$(printf '%s\n' "$before" "./$program_files/K Distortion" "./$program_files/K Distortion/uninstall.exe" |
                    LC_ALL=C sort)"
            rm -rf "$docs"
        else
            run "$docs/uninstall.exe" /S
            check "$what: the uninstaller exits 0" is "$status" 0
            wait_for_uninstall "$key" "$bits"
            check "$what: the uninstall leaves the drive as before" is "$(drive_listing)" "$before"
        fi
        check "$what: the uninstall removes the entry" bash -c "! wine reg query '$key' /reg:$bits >/dev/null 2>&1"
        check "$what: the uninstall takes out plughost's folder only" is "$(system_path)" "$path_after"
        set_system_path "$path_before"
    }

    install_and_remove "default folder" "$drive/$program_files/VSTPlugins"

    # The registry's folder, which exists and holds another plug-in; the
    # other registry view names a decoy.
    mkdir -p "$drive/kd-registry-$bits" "$drive/kd-decoy-$bits"
    echo other >"$drive/kd-registry-$bits/Other.dll"
    reg "$bits" add "$vst" /v VSTPluginsPath /d "C:\\kd-registry-$bits" /f
    reg "$other" add "$vst" /v VSTPluginsPath /d "C:\\kd-decoy-$bits" /f
    install_and_remove "the registry's folder" "$drive/kd-registry-$bits"
    check "$bits-bit: the other plug-in stays" is "$(cat "$drive/kd-registry-$bits/Other.dll")" other
    check "$bits-bit: nothing went to the other view's folder" is "$(ls -A "$drive/kd-decoy-$bits")" ""
    reg "$bits" delete "$vst" /f
    reg "$other" delete "$vst" /f
    rm -rf "$drive/kd-registry-$bits" "$drive/kd-decoy-$bits"

    install_and_remove "a chosen folder" "$drive/kd-chosen-$bits" "/D=C:\\kd-chosen-$bits"
    install_and_remove "plughost on PATH" "$drive/$program_files/VSTPlugins" /AddToPath
    IN_PLACE=1 install_and_remove "uninstalled in place" "$drive/$program_files/VSTPlugins" /AddToPath

    # Failing copies: a file stands where the documentation folder belongs
    # (nothing written yet), or a folder where the manual's temporary copy
    # goes (the DLL written already).
    for blocker in "file $docs" "folder $docs/manual.html.kd-new"; do
        if [ "${blocker%% *}" = file ]; then
            echo blocking >"${blocker#* }"
        else
            mkdir -p "${blocker#* }"
        fi
        before=$(drive_listing)
        run "$setup" /S "/D=C:\\kd-failing-$bits"
        what="$bits-bit, failing copy (a ${blocker%% *} in the way)"
        check "$what: the installer exits 2" is "$status" 2
        check "$what: the drive is as before" is "$(drive_listing)" "$before"
        check "$what: no entry in the installed programs" \
            bash -c "! wine reg query '$key' /reg:$bits >/dev/null 2>&1"
        rm -rf "$docs"
    done

    # A system PATH longer than the installer's strings is left alone: the
    # install fails as a whole rather than cut PATH short.
    long_path=$path_before$(printf ';C:\\kd-long-%04d' $(seq 1 90))
    set_system_path "$long_path"
    before=$(drive_listing)
    run "$setup" /S /AddToPath
    what="$bits-bit, a PATH too long to edit"
    check "$what: the installer exits 2" is "$status" 2
    check "$what: the drive is as before" is "$(drive_listing)" "$before"
    check "$what: PATH is as before" is "$(system_path)" "$long_path"
    check "$what: no entry in the installed programs" bash -c "! wine reg query '$key' /reg:$bits >/dev/null 2>&1"
    set_system_path "$path_before"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
