#include "search/found_list.h"

#include <algorithm>

#include "files/list_extent.h"
#include "files/list_order.h"

namespace dorvan {

std::size_t FoundList::Add(const std::string& path) {
  longestBytes_ = std::max(longestBytes_, ListEntryBytes(path));
  return InsertSorted(paths_, path);
}

}  // namespace dorvan
