// A table walker written in C99 against dinfo/table.h alone, so that the
// tests show the helper compiling and working for a C caller.
#ifndef DINFO_TESTS_TABLE_WALK_H
#define DINFO_TESTS_TABLE_WALK_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Describes the table at `bytes`, of which `available` may be read, one
 * line a table or entry, nested tables indented: "le 2 entries",
 * "array 2x3: 1 -2 3", "array 3x1: 010203", "raw 2: 9 8", "inline 7",
 * "nested:", "damaged 4". Writes at most `capacity` bytes, terminated.
 * Returns 0 when the table does not open, else 1. */
int DescribeTable(const void *bytes, size_t available, char *out, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif  // DINFO_TESTS_TABLE_WALK_H
