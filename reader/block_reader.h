// The drawing's contents after its header: the top-level entity list, the block
// definitions with their own lists, and (from version 700 on) the embedded images.
#pragma once

#include <string_view>

#include "reader/archive_primitives.h"
#include "reader/byte_cursor.h"
#include "reader/jww_drawing.h"

namespace dorvan {

// How the contents read: `Message` is the text to show for a malformed list (empty when
// there is none); `BlockListFailed` tells that a block's own entity list was malformed,
// which makes the drawing unreadable without a message. A cursor that ran out or met an
// impossible value (see the cursor) also makes it unreadable.
struct ContentsResult {
  std::string_view Message;
  bool BlockListFailed = false;
};

// Reads the top-level entity list, then the block-definition list into `drawing.Data`;
// then the embedded images when `readImages` is set and the version is 700 or more.
ContentsResult ReadBlockDefinitions(ByteCursor& in, JwwDrawing& drawing, bool readImages);

}  // namespace dorvan
