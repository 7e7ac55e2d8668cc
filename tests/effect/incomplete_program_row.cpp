// Compiled by tests/effect/expect_compile_error.cmake, never built: a
// factory program row must give every parameter a value. With
// KD_COMPLETE_ROW the row is whole and the file compiles; without it one
// value is missing and the program table must refuse it.
#include "program_table.h"

#ifdef KD_COMPLETE_ROW
#define KD_LAST_VALUES 0.5f, 0.5f
#else
#define KD_LAST_VALUES 0.5f
#endif

constexpr FactoryProgram kRow{
    "Row",
    {0.5f, 0.5f, 0.71f, 1.0f, 0.0f, 0.25f, 0.26f, 0.5f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.5f, 0.5f, KD_LAST_VALUES}};
static_assert(kRow.values[0] == 0.5f, "the row is used");
