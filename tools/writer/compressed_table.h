// Compressed table objects, as a producer stores them: the codings are
// applied delta coding first (the table writer), then compression, then
// scrambling of the compressed body.
#ifndef DINFO_TOOLS_WRITER_COMPRESSED_TABLE_H
#define DINFO_TOOLS_WRITER_COMPRESSED_TABLE_H

#include <cstdint>

#include "writer/table_writer.h"
#include "writer/writer.h"

namespace dinfo::writer {

// Compresses a stored table object whose body is not scrambled: the body
// (descriptors and data, up to its totalSize) becomes its LZW code stream,
// padded with zero bytes to a multiple of 8; FlagCompressed is set and
// totalSize follows. With `scramble` the compressed body is scrambled with
// `key` and FlagScrambled set; its last four bytes then hold the trailer,
// after the stream's end. The header keeps the object's byte order.
Bytes CompressTableObject(const Bytes &object, bool scramble = false,
                          std::uint32_t key = 0x2B7E1516u);

// A stored table object put in a parent as its nested table: a raw run
// whose tag says nested table, so the parent keeps the object's bytes as
// they are (compressed, say) where the table writer would lay out a spec.
// The run's advance leaves 8 zero bytes after it.
TableEntrySpec StoredNestedTable(const Bytes &object);

}  // namespace dinfo::writer

#endif  // DINFO_TOOLS_WRITER_COMPRESSED_TABLE_H
