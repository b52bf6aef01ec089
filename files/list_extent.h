// How far a list's horizontal scroll bar reaches: the same arithmetic for every list,
// with per-list constants, measured in bytes of the Windows Japanese code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

namespace dorvan {

// Twips per byte of the longest entry and the margin in twips, per list.
struct ExtentConstants {
  int64_t twipsPerByte;
  int64_t marginTwips;
};
// The target list List1, the found list List2 and the error list.
inline constexpr ExtentConstants kTargetListExtent{90, 180};
// The folder result list List3.
inline constexpr ExtentConstants kFolderListExtent{60, 120};
// Twips per pixel of a 96 dpi screen.
inline constexpr int64_t kTwipsPerPixelAt96Dpi = 15;

// (longestBytes × twipsPerByte + marginTwips) ÷ twipsPerPixel, an integer division that
// discards the remainder, in 64 bits so that no path length overflows. A twipsPerPixel
// below 1 counts as 1.
int64_t ListExtentPixels(int64_t longestBytes, int64_t twipsPerByte, int64_t marginTwips,
                         int64_t twipsPerPixel);

// The screen's twips per pixel for a logical dpi: 1440 ÷ dpi rounded to the nearest
// integer, halves to even; at least 1.
int64_t TwipsPerPixelForDpi(double dpi);

// Byte length of a path in the Windows Japanese code page (a kanji counts 2), measured on
// its display text (PathDisplayText) when it is not UTF-8.
std::size_t ListEntryBytes(std::string_view path);

// Keeps one list's extent covering its longest entry. A batch of additions sets the extent
// from the batch's own measure, but never below the longest entry still in the list, so a
// later, shorter batch cannot hide part of an earlier entry. Removing entries keeps the
// extent as it is (a wider scroll range hides nothing); the next batch may then shrink it
// to the longest entry remaining.
class ListExtent {
 public:
  explicit ListExtent(ExtentConstants constants = kTargetListExtent) : constants_(constants) {}

  // An entry entered the list; the extent grows at once when the entry is longer.
  void AddEntry(std::string_view path);
  // An entry left the list (one of its copies, when there are duplicates).
  void RemoveEntry(std::string_view path);
  // Every entry left the list; the extent stays.
  void RemoveAllEntries();
  // A batch ended: its longest measured name (0 for none, as after a cancelled dialog).
  void EndBatch(std::size_t batchLongestBytes);

  // The byte length the extent currently covers.
  std::size_t ExtentBytes() const { return extentBytes_; }
  // The longest entry still in the list, in bytes; 0 when empty.
  std::size_t LongestEntryBytes() const;
  // The extent in pixels for the screen's twips per pixel.
  int64_t Pixels(int64_t twipsPerPixel = kTwipsPerPixelAt96Dpi) const;

 private:
  ExtentConstants constants_;
  std::map<std::size_t, std::size_t> entryLengths_;  // byte length -> entries of that length
  std::size_t extentBytes_ = 0;
};

}  // namespace dorvan
