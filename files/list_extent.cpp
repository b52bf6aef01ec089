#include "files/list_extent.h"

#include <algorithm>
#include <cmath>

#include "files/path_text.h"
#include "reader/shift_jis.h"

namespace dorvan {

int64_t ListExtentPixels(int64_t longestBytes, int64_t twipsPerByte, int64_t marginTwips,
                         int64_t twipsPerPixel) {
  return (longestBytes * twipsPerByte + marginTwips) / std::max<int64_t>(twipsPerPixel, 1);
}

int64_t TwipsPerPixelForDpi(double dpi) {
  if (!(dpi > 0)) return kTwipsPerPixelAt96Dpi;
  // nearbyint rounds in the default mode, to nearest with halves to even.
  return std::max<int64_t>(static_cast<int64_t>(std::nearbyint(1440.0 / dpi)), 1);
}

std::size_t ListEntryBytes(std::string_view path) {
  // Plain ASCII is one byte a character in the code page; the common case needs no conversion.
  const bool ascii = std::all_of(path.begin(), path.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return path.size();
  // A name that is not UTF-8 is measured as shown, so a Shift-JIS name counts its own bytes.
  return IsValidUtf8(path) ? sjis::ByteLengthUtf8(path) : sjis::ByteLength(PathDisplayText(path));
}

void ListExtent::AddEntry(std::string_view path) {
  const std::size_t bytes = ListEntryBytes(path);
  ++entryLengths_[bytes];
  extentBytes_ = std::max(extentBytes_, bytes);
}

void ListExtent::RemoveEntry(std::string_view path) {
  const auto found = entryLengths_.find(ListEntryBytes(path));
  if (found == entryLengths_.end()) return;
  if (--found->second == 0) entryLengths_.erase(found);
}

void ListExtent::RemoveAllEntries() { entryLengths_.clear(); }

void ListExtent::EndBatch(std::size_t batchLongestBytes) {
  extentBytes_ = std::max(batchLongestBytes, LongestEntryBytes());
}

std::size_t ListExtent::LongestEntryBytes() const {
  return entryLengths_.empty() ? 0 : entryLengths_.rbegin()->first;
}

int64_t ListExtent::Pixels(int64_t twipsPerPixel) const {
  return ListExtentPixels(static_cast<int64_t>(extentBytes_), constants_.twipsPerByte,
                          constants_.marginTwips, twipsPerPixel);
}

}  // namespace dorvan
