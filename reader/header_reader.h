// The drawing header: the signature with version and memo, then the settings up to the
// text styles, after which the entity list follows.
#pragma once

#include <cstdint>

#include "reader/byte_cursor.h"
#include "reader/jww_drawing.h"

namespace dorvan {

// Reads the 8-byte signature, and when it is "JwwData." the version and the memo. Returns
// the version, or 0 when the signature differs (or the bytes ran out).
int32_t ReadSignature(ByteCursor& in, JwwHeader& header);

// Reads the header from the drawing size to the text base points; the extended colours and
// line types only from version 420 on. Returns 0, or the byte offset where reading failed.
int32_t ReadHeaderBody(ByteCursor& in, JwwHeader& header);

}  // namespace dorvan
