// LZW encoding for compressed table object bodies: the inverse of the
// library's decoder (9 to 12 bit codes, most significant bit first, 256
// clear, 257 end, the width growing one code early).
#ifndef DINFO_TOOLS_WRITER_LZW_ENCODER_H
#define DINFO_TOOLS_WRITER_LZW_ENCODER_H

#include "writer/writer.h"

namespace dinfo::writer {

// Opens with a clear code, clears again before the table is full, and
// closes with the end code; the last byte is padded with zero bits.
Bytes LzwEncode(const Bytes &plain);

}  // namespace dinfo::writer

#endif  // DINFO_TOOLS_WRITER_LZW_ENCODER_H
