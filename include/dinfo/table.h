/*
 * dinfo/table.h: reading the table objects that DIGetTable returns, from C
 * (C99) or C++. Header only: static inline functions, no allocation, no
 * library to link. Every read is checked against the table's totalSize and
 * against the size the caller vouches for, so a damaged table gives
 * failures, never a read outside it. docs/TABLE_FORMAT.md describes the
 * layout.
 *
 *   void *block = DIGetTable(fileName, folder, selector, pairs, pairCount);
 *   DITable table;
 *   if (di_table_open(block, DI_TABLE_SIZE_FROM_HEADER, &table)) {
 *     for (uint32_t i = 0; i < table.descriptorCount; ++i) {
 *       DITableEntry entry;
 *       int32_t value;
 *       if (!di_table_entry(&table, i, &entry)) continue;  // damaged entry
 *       for (uint32_t k = 0; di_table_element_signed(&table, &entry, k, &value); ++k) {
 *         ...  // element k of an array of 1-, 2- or 4-byte numbers
 *       }
 *     }
 *   }
 *   DIFreeTable(block);
 *
 * Functions returning int give 1 on success and 0 on failure; on failure
 * their out-arguments are zeroed.
 */
#ifndef DINFO_TABLE_H
#define DINFO_TABLE_H

#include <stddef.h>
#include <stdint.h>

/* C++ gets its own casts and nullptr, so that the header stays quiet under
 * -Wold-style-cast and -Wzero-as-null-pointer-constant. */
#ifdef __cplusplus
#define DI_TABLE_CAST(type, value) static_cast<type>(value)
#define DI_TABLE_NULL nullptr
#else
#define DI_TABLE_CAST(type, value) ((type)(value))
#define DI_TABLE_NULL NULL
#endif

#define DI_TABLE_MAGIC 0x50178516u /* the first word, read in the table's order */
#define DI_TABLE_HEADER_SIZE 16u
#define DI_TABLE_DESCRIPTOR_SIZE 8u

#define DI_TABLE_FLAG_SCRAMBLED 0x80000000u  /* never set in a table from DIGetTable */
#define DI_TABLE_FLAG_COMPRESSED 0x40000000u /* never set in a table from DIGetTable */
#define DI_TABLE_FLAG_DELTA_CODED 0x20000000u /* never set in a table from DIGetTable */

/* High bytes of the descriptor tags that are not typed arrays. */
#define DI_TABLE_TAG_RAW_RUN 0x9Au
#define DI_TABLE_TAG_NESTED 0xDCu
#define DI_TABLE_TAG_INLINE 0xF8u

/* The `available` of a table from DIGetTable, whose block the library has
 * checked to hold totalSize bytes. Any other table: the bytes readable. */
#define DI_TABLE_SIZE_FROM_HEADER DI_TABLE_CAST(size_t, -1)

typedef enum DITableEntryKind {
  DI_ENTRY_INVALID = 0, /* a tag of no kind: the table is damaged */
  DI_ENTRY_ARRAY = 1,   /* count elements of elementSize bytes (1 to 16) */
  DI_ENTRY_RAW_RUN = 2, /* count bytes, never byte-swapped */
  DI_ENTRY_NESTED = 3,  /* a table object of its own, in its own byte order */
  DI_ENTRY_INLINE = 4   /* no data; location is a value, not an offset */
} DITableEntryKind;

typedef struct DITable {
  const uint8_t *bytes;     /* the table's first byte */
  uint32_t totalSize;       /* bytes of the table, header included */
  uint32_t descriptorCount; /* entries */
  uint32_t flags;
  uint32_t dataStart;       /* 16 + 8 * descriptorCount: where entry data may begin */
  int bigEndian;            /* 1 when stored most significant byte first */
} DITable;

typedef struct DITableEntry {
  DITableEntryKind kind;
  uint32_t tag;         /* the descriptor's first word */
  int32_t location;     /* offset of the data from the table's first byte; inline: a value */
  uint32_t elementSize; /* arrays: 1 to 16; raw runs: 1; otherwise 0 */
  uint32_t count;       /* arrays: elements; raw runs: bytes; otherwise 0 */
  const uint8_t *data;  /* arrays, raw runs, nested tables: the first byte; otherwise null */
  uint32_t size;        /* bytes at data (a nested table's totalSize) */
} DITableEntry;

/* A 16- or 32-bit unit at p, most significant byte first when bigEndian. */
static inline uint32_t di_table_u16_at(const uint8_t *p, int bigEndian) {
  return bigEndian ? (DI_TABLE_CAST(uint32_t, p[0]) << 8) | p[1] : (DI_TABLE_CAST(uint32_t, p[1]) << 8) | p[0];
}

static inline uint32_t di_table_u32_at(const uint8_t *p, int bigEndian) {
  return bigEndian ? (DI_TABLE_CAST(uint32_t, p[0]) << 24) | (DI_TABLE_CAST(uint32_t, p[1]) << 16) | (DI_TABLE_CAST(uint32_t, p[2]) << 8) | p[3]
                   : (DI_TABLE_CAST(uint32_t, p[3]) << 24) | (DI_TABLE_CAST(uint32_t, p[2]) << 16) | (DI_TABLE_CAST(uint32_t, p[1]) << 8) | p[0];
}

/* Two's complement reinterpretation without implementation-defined casts. */
static inline int32_t di_table_signed(uint32_t value, uint32_t bits) {
  const uint32_t signBit = DI_TABLE_CAST(uint32_t, 1) << (bits - 1);
  if (value < signBit) return DI_TABLE_CAST(int32_t, value);
  return -DI_TABLE_CAST(int32_t, ~value & (signBit - 1) & 0x7FFFFFFFu) - 1;
}

static inline void di_table_zero_entry(DITableEntry *entry) {
  entry->kind = DI_ENTRY_INVALID;
  entry->tag = 0;
  entry->location = 0;
  entry->elementSize = 0;
  entry->count = 0;
  entry->data = DI_TABLE_NULL;
  entry->size = 0;
}

/* Reads the header of the table at `bytes`, of which `available` bytes may
 * be read. Fails unless the magic reads in either order, totalSize is at
 * least 16 and at most `available`, and the descriptors lie inside it. */
static inline int di_table_open(const void *bytes, size_t available, DITable *table) {
  const uint8_t *at = DI_TABLE_CAST(const uint8_t *, bytes);
  uint32_t magic, totalSize, descriptorCount;
  int bigEndian;
  table->bytes = DI_TABLE_NULL;
  table->totalSize = table->descriptorCount = table->flags = table->dataStart = 0;
  table->bigEndian = 0;
  if (at == DI_TABLE_NULL || available < DI_TABLE_HEADER_SIZE) return 0;
  magic = di_table_u32_at(at, 0);
  if (magic == DI_TABLE_MAGIC) {
    bigEndian = 0;
  } else if (di_table_u32_at(at, 1) == DI_TABLE_MAGIC) {
    bigEndian = 1;
  } else {
    return 0;
  }
  totalSize = di_table_u32_at(at + 4, bigEndian);
  descriptorCount = di_table_u32_at(at + 8, bigEndian);
  /* Both are signed words: a negative one reads above 0x7FFFFFFF here. */
  if (totalSize < DI_TABLE_HEADER_SIZE || totalSize > 0x7FFFFFFFu || totalSize > available) return 0;
  if (descriptorCount > (totalSize - DI_TABLE_HEADER_SIZE) / DI_TABLE_DESCRIPTOR_SIZE) return 0;
  table->bytes = at;
  table->totalSize = totalSize;
  table->descriptorCount = descriptorCount;
  table->flags = di_table_u32_at(at + 12, bigEndian);
  table->dataStart = DI_TABLE_HEADER_SIZE + DI_TABLE_DESCRIPTOR_SIZE * descriptorCount;
  table->bigEndian = bigEndian;
  return 1;
}

/* Whether `length` bytes at `location` lie in the table's data area. */
static inline int di_table_in_data_area(const DITable *table, int32_t location, uint32_t length) {
  uint32_t offset;
  if (location < 0) return 0;
  offset = DI_TABLE_CAST(uint32_t, location);
  return offset >= table->dataStart && offset <= table->totalSize &&
         length <= table->totalSize - offset;
}

/* Reads descriptor `entryIndex`. Fails for an index past the last entry,
 * an invalid tag, or data (for a nested table: its whole totalSize) that
 * do not lie in the data area; kind, tag and location are still filled in
 * when the descriptor itself could be read. */
static inline int di_table_entry(const DITable *table, uint32_t entryIndex, DITableEntry *entry) {
  const uint8_t *descriptor;
  uint32_t tag, length = 0;
  di_table_zero_entry(entry);
  if (table->bytes == DI_TABLE_NULL || entryIndex >= table->descriptorCount) return 0;
  descriptor = table->bytes + DI_TABLE_HEADER_SIZE + DI_TABLE_DESCRIPTOR_SIZE * entryIndex;
  tag = di_table_u32_at(descriptor, table->bigEndian);
  entry->tag = tag;
  entry->location = di_table_signed(di_table_u32_at(descriptor + 4, table->bigEndian), 32);
  if (tag != 0 && (tag & 0x80000000u) == 0) {
    entry->kind = DI_ENTRY_ARRAY;
    entry->elementSize = ((tag >> 26) & 0xFu) + 1;
    entry->count = tag & 0x03FFFFFFu;
    length = entry->count * entry->elementSize;
  } else if ((tag >> 24) == DI_TABLE_TAG_RAW_RUN) {
    entry->kind = DI_ENTRY_RAW_RUN;
    entry->elementSize = 1;
    entry->count = tag & 0x00FFFFFFu;
    length = entry->count;
  } else if ((tag >> 24) == DI_TABLE_TAG_INLINE) {
    entry->kind = DI_ENTRY_INLINE;
    return 1;
  } else if ((tag >> 24) == DI_TABLE_TAG_NESTED) {
    DITable nested;
    entry->kind = DI_ENTRY_NESTED;
    if (!di_table_in_data_area(table, entry->location, DI_TABLE_HEADER_SIZE) ||
        !di_table_open(table->bytes + entry->location,
                       table->totalSize - DI_TABLE_CAST(uint32_t, entry->location), &nested)) {
      return 0;
    }
    length = nested.totalSize;
  } else {
    return 0;
  }
  if (!di_table_in_data_area(table, entry->location, length)) {
    entry->elementSize = entry->count = 0;
    return 0;
  }
  entry->data = table->bytes + entry->location;
  entry->size = length;
  return 1;
}

/* Opens the table of a nested entry read from `table`, bounded by the
 * parent's totalSize. */
static inline int di_table_nested(const DITable *table, const DITableEntry *entry, DITable *nested) {
  if (entry->kind != DI_ENTRY_NESTED ||
      !di_table_in_data_area(table, entry->location, DI_TABLE_HEADER_SIZE)) {
    return di_table_open(DI_TABLE_NULL, 0, nested);
  }
  return di_table_open(table->bytes + entry->location,
                       table->totalSize - DI_TABLE_CAST(uint32_t, entry->location), nested);
}

/* The bytes of element `elementIndex` of an array or raw run, as stored
 * (elementSize of them), or null past the end. */
static inline const uint8_t *di_table_element_bytes(const DITableEntry *entry, uint32_t elementIndex) {
  if (entry->data == DI_TABLE_NULL || entry->kind == DI_ENTRY_NESTED || elementIndex >= entry->count) {
    return DI_TABLE_NULL;
  }
  return entry->data + DI_TABLE_CAST(size_t, elementIndex) * entry->elementSize;
}

/* Element `elementIndex` of an array of 1-, 2- or 4-byte elements (or a
 * raw run's byte), in the table's byte order, zero-extended. Elements of
 * other sizes are never byte-swapped: read them with di_table_element_bytes. */
static inline int di_table_element(const DITable *table, const DITableEntry *entry,
                                   uint32_t elementIndex, uint32_t *value) {
  const uint8_t *at = di_table_element_bytes(entry, elementIndex);
  *value = 0;
  if (at == DI_TABLE_NULL) return 0;
  switch (entry->elementSize) {
    case 1: *value = at[0]; return 1;
    case 2: *value = di_table_u16_at(at, table->bigEndian); return 1;
    case 4: *value = di_table_u32_at(at, table->bigEndian); return 1;
    default: return 0;
  }
}

/* The same, sign-extended. */
static inline int di_table_element_signed(const DITable *table, const DITableEntry *entry,
                                          uint32_t elementIndex, int32_t *value) {
  uint32_t unsignedValue;
  *value = 0;
  if (!di_table_element(table, entry, elementIndex, &unsignedValue)) return 0;
  *value = di_table_signed(unsignedValue, 8 * entry->elementSize);
  return 1;
}

/* A 32-bit word at `offset` of the table, in its byte order. */
static inline int di_table_word(const DITable *table, uint32_t offset, uint32_t *value) {
  *value = 0;
  if (table->bytes == DI_TABLE_NULL || offset > table->totalSize || table->totalSize - offset < 4) return 0;
  *value = di_table_u32_at(table->bytes + offset, table->bigEndian);
  return 1;
}

#endif /* DINFO_TABLE_H */
