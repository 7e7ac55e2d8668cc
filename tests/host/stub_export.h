// The export of a stub plug-in's entry point, the only symbol a host looks up.
#pragma once

#if defined(_WIN32)
#define STUB_EXPORT extern "C" __declspec(dllexport)
#else
#define STUB_EXPORT extern "C" __attribute__((visibility("default")))
#endif
