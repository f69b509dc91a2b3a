#include "table_walk.h"

#include <stdarg.h>
#include <stdio.h>

#include "dinfo/table.h"

typedef struct Text {
  char *out;
  size_t capacity;
  size_t used;
} Text;

static void Append(Text *text, const char *format, ...) {
  va_list arguments;
  int written;
  if (text->used + 1 >= text->capacity) return;
  va_start(arguments, format);
  written = vsnprintf(text->out + text->used, text->capacity - text->used, format, arguments);
  va_end(arguments);
  if (written < 0) return;
  text->used += (size_t)written;
  if (text->used >= text->capacity) text->used = text->capacity - 1;
}

static void Indent(Text *text, unsigned depth) {
  unsigned i;
  for (i = 0; i < depth; ++i) Append(text, " ");
}

/* Array elements of 1, 2 or 4 bytes as signed numbers, raw bytes as
 * unsigned ones, other elements as their bytes in hex. */
static void DescribeElements(Text *text, const DITable *table, const DITableEntry *entry) {
  uint32_t k, unsignedValue;
  int32_t value;
  const uint8_t *bytes;
  for (k = 0; k < entry->count; ++k) {
    Append(text, k == 0 ? ": " : " ");
    if (entry->kind == DI_ENTRY_RAW_RUN && di_table_element(table, entry, k, &unsignedValue)) {
      Append(text, "%lu", (unsigned long)unsignedValue);
    } else if (di_table_element_signed(table, entry, k, &value)) {
      Append(text, "%ld", (long)value);
    } else {
      uint32_t b;
      bytes = di_table_element_bytes(entry, k);
      for (b = 0; bytes != NULL && b < entry->elementSize; ++b) Append(text, "%02x", (unsigned)bytes[b]);
    }
  }
}

static void DescribeOpened(Text *text, const DITable *table, unsigned depth) {
  uint32_t i;
  Indent(text, depth);
  Append(text, "%s %lu entries\n", table->bigEndian ? "be" : "le", (unsigned long)table->descriptorCount);
  for (i = 0; i < table->descriptorCount; ++i) {
    DITableEntry entry;
    DITable nested;
    Indent(text, depth + 1);
    if (!di_table_entry(table, i, &entry)) {
      Append(text, "damaged %lu\n", (unsigned long)i);
      continue;
    }
    switch (entry.kind) {
      case DI_ENTRY_ARRAY:
        Append(text, "array %lux%lu", (unsigned long)entry.elementSize, (unsigned long)entry.count);
        DescribeElements(text, table, &entry);
        break;
      case DI_ENTRY_RAW_RUN:
        Append(text, "raw %lu", (unsigned long)entry.count);
        DescribeElements(text, table, &entry);
        break;
      case DI_ENTRY_INLINE:
        Append(text, "inline %ld", (long)entry.location);
        break;
      case DI_ENTRY_NESTED:
        Append(text, "nested:\n");
        if (di_table_nested(table, &entry, &nested)) DescribeOpened(text, &nested, depth + 2);
        continue;
      case DI_ENTRY_INVALID:
        Append(text, "invalid");
        break;
    }
    Append(text, "\n");
  }
}

int DescribeTable(const void *bytes, size_t available, char *out, size_t capacity) {
  Text text;
  DITable table;
  text.out = out;
  text.capacity = capacity;
  text.used = 0;
  if (capacity > 0) out[0] = '\0';
  if (!di_table_open(bytes, available, &table)) return 0;
  DescribeOpened(&text, &table, 0);
  return 1;
}
