#!/bin/bash
# Runs scripts/install-plugin against a temporary HOME and a temporary prefix
# with an already built plug-in (nothing is built here), and cmake --install
# into a temporary prefix. Ends with "N passed, N failed"; exit status 0 only
# when every check passed.
#
# Usage: install_plugin_test.sh INSTALL_SCRIPT PLUGIN CMAKE BUILD_DIR
set -u
script=$1 plugin=$2 cmake=$3 build_dir=$4
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
passed=0 failed=0
check() { # check DESCRIPTION COMMAND...: passes when COMMAND succeeds
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; fi
}
# Runs the script; its exit status lands in $status, its output in $out.
run() { out=$("$script" --plugin "$plugin" "$@" 2>&1); status=$?; }
# Every file and folder under a tree, with its type, one a line.
tree() { (cd "$1" && find . -mindepth 1 -printf '%y %p\n' | sort); }
same_tree() { # same_tree DIR EXPECTED
    local found
    found=$(tree "$1")
    [ "$found" = "$2" ] || { printf 'under %s found:\n%s\nexpected:\n%s\n' "$1" "$found" "$2" >&2; return 1; }
}
is() { [ "$1" = "$2" ] || { echo "got [$1], expected [$2]; output: $out" >&2; return 1; }; }

# Per-user install into an empty HOME, twice, then out again.
export HOME=$work/home
mkdir -p "$HOME"
run --user
check "user install exits 0" is "$status" 0
check "user install lands in ~/.vst, alone" same_tree "$HOME" $'d ./.vst\nf ./.vst/KDistortion.so'
check "the installed file is the plug-in" cmp "$plugin" "$HOME/.vst/KDistortion.so"
check "the output names the file" grep -q -F "installed $HOME/.vst/KDistortion.so" <<<"$out"
before=$(stat -c '%i %Y %a' "$HOME/.vst/KDistortion.so")
run --user
check "second install exits 0" is "$status" 0
check "second install leaves the file as it was" is "$(stat -c '%i %Y %a' "$HOME/.vst/KDistortion.so")" "$before"
check "second install leaves no temporary file" same_tree "$HOME" $'d ./.vst\nf ./.vst/KDistortion.so'
run --user --uninstall
check "uninstall exits 0" is "$status" 0
check "uninstall leaves HOME as it was" same_tree "$HOME" ''
run --user --uninstall
check "uninstall with nothing installed exits 0" is "$status" 0

# Foreign files: another plug-in beside ours stays; a foreign file under our
# name is neither replaced nor removed.
mkdir "$HOME/.vst" && echo other >"$HOME/.vst/Other.so"
run --user && run --user --uninstall
check "uninstall keeps the other plug-in and its folder" same_tree "$HOME" $'d ./.vst\nf ./.vst/Other.so'
echo "someone else's" >"$HOME/.vst/KDistortion.so"
run --user
check "install refuses to replace a foreign file" is "$status" 1
check "the foreign file is unchanged after install" is "$(cat "$HOME/.vst/KDistortion.so")" "someone else's"
run --user --uninstall
check "uninstall refuses to remove a foreign file" is "$status" 1
check "the foreign file is unchanged after uninstall" is "$(cat "$HOME/.vst/KDistortion.so")" "someone else's"

# An older build of ours (different bytes) is replaced and can be removed.
rm "$HOME/.vst/KDistortion.so" && cp "$plugin" "$HOME/.vst/KDistortion.so" && echo older >>"$HOME/.vst/KDistortion.so"
run --user
check "an older build is replaced" cmp "$plugin" "$HOME/.vst/KDistortion.so"

# A prefix: DIR/lib/vst; uninstall removes the folders it made, not the prefix.
mkdir "$work/prefix"
run --prefix "$work/prefix"
check "prefix install exits 0" is "$status" 0
check "prefix install lands in lib/vst" same_tree "$work/prefix" $'d ./lib\nd ./lib/vst\nf ./lib/vst/KDistortion.so'
run --prefix "$work/prefix" --uninstall
check "prefix uninstall leaves the prefix empty" same_tree "$work/prefix" ''

# cmake --install puts the same file into lib/vst, and the script removes it.
"$cmake" --install "$build_dir" --prefix "$work/cmake-prefix" >/dev/null
check "cmake --install lands in lib/vst" same_tree "$work/cmake-prefix" $'d ./lib\nd ./lib/vst\nf ./lib/vst/KDistortion.so'
run --prefix "$work/cmake-prefix" --uninstall
check "the script removes what cmake --install put there" same_tree "$work/cmake-prefix" ''

run --user --prefix "$work/prefix"
check "--user with --prefix is a usage error" is "$status" 2
run --no-such-option
check "an unknown option is a usage error" is "$status" 2

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
