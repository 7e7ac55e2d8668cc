// An object like the AVX2 one gone wrong: besides its entry it compiles a
// shared header's inline function out of line, a weak definition the linker
// could hand to every other caller. scripts/check-object-entries must name it.
__attribute__((noinline)) inline int sharedInlineHelper(int x) {
    return 3 * x + 1;
}

int objectEntry(int x) {
    return sharedInlineHelper(x) + sharedInlineHelper(x + 1);
}
