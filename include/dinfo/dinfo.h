/*
 * dinfo: device-information queries over information files.
 *
 * Every function that reads a file takes the file name (8-bit, ANSI code
 * page; UTF-8 on Linux) first and the folder (UTF-16, may be null) second,
 * opens the file, answers, and closes it again before returning. Nothing is
 * kept between calls and nothing is shared: calls from several threads at
 * once need no locking. Nothing is written but the caller's out-arguments
 * and arrays.
 *
 * DINFO_VERSION_MAJOR, _MINOR, _PATCH and DINFO_VERSION_STRING
 * ("dinfo/version.h") give the version of this header.
 */
#ifndef DINFO_DINFO_H
#define DINFO_DINFO_H

#include <stdint.h>
#if defined(_WIN32) && !defined(__cplusplus)
#  include <stddef.h> /* wchar_t */
#endif

#include "dinfo/version.h"

#if defined(_WIN32)
#  if defined(DINFO_BUILDING_LIBRARY)
#    define DI_API __declspec(dllexport)
#  else
#    define DI_API __declspec(dllimport)
#  endif
#else
#  define DI_API __attribute__((visibility("default")))
#endif

/* The exports' calling convention: the C one (__cdecl on Windows, which
 * 64-bit Windows treats as its only convention). */
#if defined(_WIN32)
#  define DI_CALL __cdecl
#else
#  define DI_CALL
#endif

#if defined(__cplusplus)
#  define DI_NULL nullptr
#else
#  define DI_NULL ((void *)0)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One UTF-16 code unit: wchar_t on Windows, a 16-bit unit elsewhere. */
#if defined(_WIN32)
typedef wchar_t DIWideChar;
#elif defined(__cplusplus)
typedef char16_t DIWideChar;
#else
typedef uint_least16_t DIWideChar;
#endif

/* DI_FOLDER("scans") is a folder name as a literal of DIWideChar: L"" on
 * Windows, u"" elsewhere, in C and C++ alike. (L"" outside Windows holds
 * 32-bit units, which the library would read as a name cut short after its
 * first letter; u"" on Windows is not wchar_t in C++.) Outside Windows a C
 * program needs C11 for u"": in C99 there is no 16-bit literal, so give
 * the folder as an array, {'s', 'c', 'a', 'n', 's', 0}. */
#if defined(_WIN32)
#  define DI_FOLDER(text) L##text
#elif defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#  define DI_FOLDER(text) u##text
#endif

/* A caller's condition: the value to put at position `index` (0 to 299) of
 * the condition vector. The last four bytes are never read. */
typedef struct ConditionPair {
  int32_t index;
  int32_t value;
  uint8_t unused[4];
} ConditionPair;

/* 12 bytes: three values, always widened to 32 bits with their sign. */
typedef struct IntegerTriplet {
  int32_t values[3];
} IntegerTriplet;

/* 264 bytes. `name` is 256 bytes passed on as the file holds them: not
 * interpreted and not necessarily zero-terminated (print it with "%.256s").
 * An entry read from a record of named entries carries the file's own
 * leadingValue and trailingValue; one made from a text value (a record of
 * 256-byte texts) carries leadingValue 0 and trailingValue 1. */
typedef struct NamedEntry {
  int32_t leadingValue;
  uint8_t name[256];
  int32_t trailingValue;
} NamedEntry;

/* Sizing the output arrays. No export is told how large an array is: the
 * caller gives room for every element the call can write. These are the
 * most this library ever writes; no list exceeds 32767 elements.
 *
 *   DIGetMainInfo      namedEntries  206 NamedEntry      (54384 bytes)
 *                      triplets      200 IntegerTriplet  ( 2400 bytes)
 *   DIGetCategoryInfoV/S, as IntegerTriplet: 31200       (374400 bytes)
 *                         as NamedEntry:      8034       (2120976 bytes)
 *
 * A category answer gathers up to 39 records; each record gives at most
 * 200 named entries (206 of text), and 200 triplets of 32-bit values (400
 * of 16-bit, 800 of 8-bit). A caller that knows its files may size for
 * what they hold; one that does not uses DI_CATEGORY_BUFFER_BYTES, which
 * holds the most of either type (4-byte alignment suffices for both).
 *
 * These buffers are large (the category buffer is 2 MB, more than a
 * thread's whole stack on Windows, where a stack array of it crashes):
 * take them from the heap (malloc, std::vector) or make them static. */
#define DI_MAIN_NAMED_MAX 206
#define DI_MAIN_TRIPLETS_MAX 200
#define DI_CATEGORY_TRIPLETS_MAX 31200
#define DI_CATEGORY_NAMED_MAX 8034
#define DI_CATEGORY_BUFFER_BYTES (DI_CATEGORY_NAMED_MAX * 264)

/* Conditions. Every query that takes conditions builds a vector of 300
 * int32 positions: all start at -1 (not 0), position 1 receives
 * `selector`, then each of the first `pairCount` pairs stores its value at
 * its index, in order (a later pair wins; a pair with index 1 replaces the
 * selector). A row of the file matches when each of its keys equals the
 * position it names or is the wildcard -32768, so a row keyed on a
 * position the caller leaves unset matches only the key -1: set every
 * condition the file keys on. `pairs` may be null when `pairCount` is 0
 * or less. An index outside 0 to 299 refuses the call: ErrConditionIndex,
 * or null from DIGetTable. */

/* Status codes: negative 16-bit results (DIGetTableFormatType returns them
 * sign-extended to 32 bits; DIGetTable reports every failure as null).
 * Each export names the codes it can return. DI_STATUS_CODES lists them
 * with their one-line cause: X(name, code, cause) for each. */
#define DI_STATUS_CODES(X) \
  X(ErrStatusLookup, -2001, "the lookup of the status record (1000) failed") \
  X(ErrFileUnusable, -2003, "the file marks itself unusable (positive file status)") \
  X(ErrConditionIndex, -2004, "a condition index lies outside 0 to 299") \
  X(ErrMainInfo, -2005, "a main information list (record 1001 or 1002) failed or is empty") \
  X(ErrOpenFile, -2006, "the information file did not open") \
  X(ErrNoCategory, -2009, "the category record yielded no row") \
  X(ErrCategoryLookup, -2021, "the lookup of the category record failed") \
  X(ErrValueList, -2023, "a value list failed") \
  X(ErrEntryList, -2024, "a named entry list failed") \
  X(ErrFormatType, -2025, "the format type could not be read from the status record (1000)") \
  X(ErrRecordDisabled, -2030, "the record is disabled, or the format type is negative")

/* Steps inside a lookup. No export returns these: each export reports them
 * as one of its own codes above (DIGetTable as null). They are named here
 * because the dinfo tool prints them when it retraces a failed call. */
#define DI_LOOKUP_STEP_CODES(X) \
  X(ErrRecordUnreadable, -2007, "a record of a chain did not read") \
  X(ErrChainSelection, -2008, "a chain block matched no row") \
  X(ErrRecordDamaged, -2010, "a record is empty or its block is unsound")

#define DI_STATUS_ENUMERATOR(name, code, cause) name = code,
enum DIStatusCode { DI_STATUS_CODES(DI_STATUS_ENUMERATOR) };
#undef DI_STATUS_ENUMERATOR

/* The name of a status code ("ErrOpenFile") and its cause ("the
 * information file did not open"), for the codes of both lists above;
 * null for any other number. Header only: nothing is linked for them. */
#define DI_STATUS_NAME_CASE(name, code, cause) case code: return #name;
#define DI_STATUS_CAUSE_CASE(name, code, cause) case code: return cause;
static inline const char *di_status_name(int32_t code) {
  switch (code) {
    DI_STATUS_CODES(DI_STATUS_NAME_CASE)
    DI_LOOKUP_STEP_CODES(DI_STATUS_NAME_CASE)
    default: return DI_NULL;
  }
}
static inline const char *di_status_cause(int32_t code) {
  switch (code) {
    DI_STATUS_CODES(DI_STATUS_CAUSE_CASE)
    DI_LOOKUP_STEP_CODES(DI_STATUS_CAUSE_CASE)
    default: return DI_NULL;
  }
}
#undef DI_STATUS_NAME_CASE
#undef DI_STATUS_CAUSE_CASE

/* Every export that reads a file takes `fileName` (zero-terminated, ANSI
 * code page on Windows, UTF-8 on Linux) and `folder` (zero-terminated
 * UTF-16, or null). With a folder the path is folder, a backslash unless
 * the folder ends in one, and the name; without, the name as given
 * (relative to the current directory). The file is opened read-only and
 * closed before the call returns. */

/* The file's format type, 0 or more; a negative value is a failure:
 * ErrOpenFile, ErrFormatType, ErrRecordDisabled, or a negative format type
 * stored in the file, returned unchanged. The file's status is not
 * checked here: an unusable file still reports its format type. */
DI_API int32_t DI_CALL DIGetTableFormatType(const char *fileName, const DIWideChar *folder);

/* The file's two main lists, read without conditions.
 *   namedEntries  out: receives *namedCount NamedEntry (at most 206)
 *   triplets      out: receives *tripletCount IntegerTriplet (at most 200)
 *   namedCount, tripletCount  out: set to 0 first, then to the numbers
 *                 written. Both must be non-null: a null one gives
 *                 ErrMainInfo before the file is opened.
 * Returns 0 when both lists are non-empty, else ErrOpenFile,
 * ErrStatusLookup, ErrFileUnusable or ErrMainInfo (a list unreadable or
 * empty). When only the triplets fail, the named entries and *namedCount
 * stay written. A null array is refused with ErrMainInfo only when
 * elements would be written through it; a missing or unusable file is
 * still reported as such. */
DI_API int16_t DI_CALL DIGetMainInfo(const char *fileName, const DIWideChar *folder,
                                     NamedEntry *namedEntries, IntegerTriplet *triplets,
                                     int16_t *namedCount, int16_t *tripletCount);

/* Category information chosen by `selector` and `pairCount` condition
 * `pairs` (see Conditions): DIGetCategoryInfoV reads the file's V category
 * record (1003), DIGetCategoryInfoS its S record (1004); otherwise they
 * are alike. The record names up to 39 records whose values are written
 * one after the other into `entries`.
 *
 * Element type: the file decides, by the value type of the first listed
 * record: IntegerTriplet for 8-, 16- or 32-bit values, NamedEntry for
 * texts and named entries; any other value type writes nothing and
 * returns 0. The result does not say which type was written: a caller
 * knows it from the files it reads, or sizes `entries` for both (see
 * Sizing the output arrays).
 *
 * Returns the number of elements written (0 or more), or ErrOpenFile,
 * ErrStatusLookup, ErrFileUnusable, ErrRecordDisabled (also for a
 * negative format type), ErrConditionIndex, ErrCategoryLookup,
 * ErrNoCategory, ErrValueList (triplets) or ErrEntryList (named entries).
 * Elements written before a failure stay written. A null `entries` is
 * refused (ErrValueList or ErrEntryList) only when elements would be
 * written through it; an answer of no elements is still 0. */
DI_API int16_t DI_CALL DIGetCategoryInfoV(const char *fileName, const DIWideChar *folder,
                                          int32_t selector, const ConditionPair *pairs,
                                          void *entries, int16_t pairCount);
DI_API int16_t DI_CALL DIGetCategoryInfoS(const char *fileName, const DIWideChar *folder,
                                          int32_t selector, const ConditionPair *pairs,
                                          void *entries, int16_t pairCount);

/* The table object chosen by `selector` and the conditions (see
 * Conditions), or null on any failure: the file does not open, is
 * unusable or has a negative format type, a condition index is out of
 * range, no single table matches, or the stored table is damaged. No
 * reason is given.
 *
 * The table is one block that describes itself: a 16-byte header (magic,
 * totalSize, descriptorCount, flags), descriptors, data, nested tables
 * inside. It comes back unscrambled, expanded and with its deltas undone,
 * every entry checked to lie inside totalSize, but in the byte order in
 * which it was stored, which may be either: read it with the helpers of
 * "dinfo/table.h" (docs/TABLE_FORMAT.md describes the layout).
 *
 * The caller owns the table: it stays valid until passed to DIFreeTable,
 * which releases it; free() or delete must not be used on it. */
DI_API void *DI_CALL DIGetTable(const char *fileName, const DIWideChar *folder, int32_t selector,
                                const ConditionPair *pairs, int16_t pairCount);

/* Releases a table from DIGetTable; null does nothing. */
DI_API void DI_CALL DIFreeTable(void *table);

/* The six exports as function-pointer types, for a program that loads
 * dinfo.dll itself: LoadLibrary, then GetProcAddress by name
 * ("DIGetTableFormatType") or by ordinal (MAKEINTRESOURCEA(2)), the
 * ordinal in the comment beside each type. */
typedef int32_t(DI_CALL *DIGetTableFormatTypeFn)(const char *fileName, const DIWideChar *folder); /* 2 */
typedef int16_t(DI_CALL *DIGetMainInfoFn)(const char *fileName, const DIWideChar *folder,
                                          NamedEntry *namedEntries, IntegerTriplet *triplets,
                                          int16_t *namedCount, int16_t *tripletCount); /* 3 */
typedef int16_t(DI_CALL *DIGetCategoryInfoVFn)(const char *fileName, const DIWideChar *folder,
                                               int32_t selector, const ConditionPair *pairs,
                                               void *entries, int16_t pairCount); /* 4 */
typedef int16_t(DI_CALL *DIGetCategoryInfoSFn)(const char *fileName, const DIWideChar *folder,
                                               int32_t selector, const ConditionPair *pairs,
                                               void *entries, int16_t pairCount); /* 5 */
typedef void *(DI_CALL *DIGetTableFn)(const char *fileName, const DIWideChar *folder, int32_t selector,
                                      const ConditionPair *pairs, int16_t pairCount); /* 6 */
typedef void(DI_CALL *DIFreeTableFn)(void *table); /* 7 */

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(ConditionPair) == 12, "ConditionPair is 12 bytes");
static_assert(sizeof(IntegerTriplet) == 12, "IntegerTriplet is 12 bytes");
static_assert(sizeof(NamedEntry) == 264, "NamedEntry is 264 bytes");
#else
/* C99 has no static assertion: an array of negative size stops the build. */
typedef char DIConditionPairIs12Bytes[sizeof(ConditionPair) == 12 ? 1 : -1];
typedef char DIIntegerTripletIs12Bytes[sizeof(IntegerTriplet) == 12 ? 1 : -1];
typedef char DINamedEntryIs264Bytes[sizeof(NamedEntry) == 264 ? 1 : -1];
#endif

#endif /* DINFO_DINFO_H */
