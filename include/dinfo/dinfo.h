/*
 * dinfo: device-information queries over information files.
 *
 * Every function that reads a file takes the file name (8-bit, ANSI code
 * page; UTF-8 on Linux) first and the folder (UTF-16, may be null) second,
 * opens the file, answers, and closes it again before returning. Nothing is
 * kept between calls; calls from several threads need no locking.
 */
#ifndef DINFO_DINFO_H
#define DINFO_DINFO_H

#include <stdint.h>

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

/* A caller's condition: the value to put at position `index` (0 to 299) of
 * the condition vector. The last four bytes are never read. */
typedef struct ConditionPair {
  int32_t index;
  int32_t value;
  uint8_t unused[4];
} ConditionPair;

typedef struct IntegerTriplet {
  int32_t values[3];
} IntegerTriplet;

typedef struct NamedEntry {
  int32_t leadingValue;
  uint8_t name[256];
  int32_t trailingValue;
} NamedEntry;

/* Failure results of the exports (16-bit codes; DIGetTableFormatType
 * returns them sign-extended to 32 bits). */
enum DIStatusCode {
  ErrStatusLookup = -2001,   /* the lookup of the status record failed */
  ErrFileUnusable = -2003,   /* the file marks itself unusable */
  ErrConditionIndex = -2004, /* a condition index lies outside 0 to 299 */
  ErrMainInfo = -2005,       /* a main information list failed or is empty */
  ErrOpenFile = -2006,       /* the information file did not open */
  ErrNoCategory = -2009,     /* the category record yielded no row */
  ErrCategoryLookup = -2021, /* the lookup of the category record failed */
  ErrValueList = -2023,      /* a value list failed */
  ErrEntryList = -2024,      /* a named entry list failed */
  ErrFormatType = -2025,     /* the format type could not be read */
  ErrRecordDisabled = -2030  /* the record is disabled, or the format type is negative */
};

/* The file's format type (0 or more), or ErrOpenFile, ErrFormatType,
 * ErrRecordDisabled, or a negative format type stored in the file. */
DI_API int32_t DIGetTableFormatType(const char *fileName, const DIWideChar *folder);

/* Fills the file's two main lists. Both counts are set to 0 first.
 * 0 on success, else ErrOpenFile, ErrStatusLookup, ErrFileUnusable or
 * ErrMainInfo. Null for any of the four out-pointers gives ErrMainInfo
 * without opening the file; nothing is written through a null pointer. */
DI_API int16_t DIGetMainInfo(const char *fileName, const DIWideChar *folder,
                             NamedEntry *namedEntries, IntegerTriplet *triplets,
                             int16_t *namedCount, int16_t *tripletCount);

/* Category information as IntegerTriplet or NamedEntry elements (the file
 * decides which). Returns the number of elements written, or a negative
 * code. A null `entries` fails only where elements would be written
 * (ErrValueList for value types 1, 2 and 4, ErrEntryList for 256 and 264);
 * a null `pairs` with a positive `pairCount` gives ErrConditionIndex. */
DI_API int16_t DIGetCategoryInfoV(const char *fileName, const DIWideChar *folder,
                                  int32_t selector, const ConditionPair *pairs,
                                  void *entries, int16_t pairCount);
DI_API int16_t DIGetCategoryInfoS(const char *fileName, const DIWideChar *folder,
                                  int32_t selector, const ConditionPair *pairs,
                                  void *entries, int16_t pairCount);

/* The table object chosen by the selector and conditions, or null. The
 * caller owns the table and gives it back with DIFreeTable. */
DI_API void *DIGetTable(const char *fileName, const DIWideChar *folder, int32_t selector,
                        const ConditionPair *pairs, int16_t pairCount);

/* Releases a table from DIGetTable; null does nothing. */
DI_API void DIFreeTable(void *table);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(ConditionPair) == 12, "ConditionPair is 12 bytes");
static_assert(sizeof(IntegerTriplet) == 12, "IntegerTriplet is 12 bytes");
static_assert(sizeof(NamedEntry) == 264, "NamedEntry is 264 bytes");
#else
_Static_assert(sizeof(ConditionPair) == 12, "ConditionPair is 12 bytes");
_Static_assert(sizeof(IntegerTriplet) == 12, "IntegerTriplet is 12 bytes");
_Static_assert(sizeof(NamedEntry) == 264, "NamedEntry is 264 bytes");
#endif

#endif /* DINFO_DINFO_H */
