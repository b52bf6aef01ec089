#include "search_range.h"

namespace dorvan {
static_assert(IsTextRange(RangeBlockName) && !IsTextRange(RangeLineWidthBase));
}  // namespace dorvan
