#include "support/import_hooks.h"

#include <windows.h>

#include <cstring>

namespace {

void redirect(IMAGE_THUNK_DATA* slot, const ImportHook& hook) {
    void* current = reinterpret_cast<void*>(slot->u1.Function);
    if (current == hook.replacement) {
        return;
    }
    if (hook.original != nullptr) {
        if (*hook.original == nullptr) {
            *hook.original = current;
        } else if (*hook.original != current) {
            return;
        }
    }
    DWORD previous = 0;
    if (VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &previous)) {
        slot->u1.Function = reinterpret_cast<ULONG_PTR>(hook.replacement);
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, previous, &previous);
    }
}

}  // namespace

void hookImports(void* module, const ImportHook* hooks, std::size_t count) {
    auto* base = static_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (base == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) {
        return;
    }
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); library->Name != 0;
         ++library) {
        if (library->OriginalFirstThunk == 0) {
            continue;  // without the name table the imports cannot be told apart
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (std::size_t i = 0; i < count; ++i) {
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hooks[i].name) == 0) {
                    redirect(slots, hooks[i]);
                }
            }
        }
    }
}
