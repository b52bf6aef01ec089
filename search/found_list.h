// The found list of a run: paths kept sorted ascending, ignoring letter case, as the
// window's sorted list box shows them, with the longest path's byte length.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace dorvan {

class FoundList {
 public:
  // Inserts `path` at its sorted place (after entries equal to it ignoring case) and
  // returns that place (0-based).
  std::size_t Add(const std::string& path);
  const std::vector<std::string>& Paths() const { return paths_; }
  std::vector<std::string> TakePaths() { return std::move(paths_); }
  std::size_t size() const { return paths_.size(); }
  bool empty() const { return paths_.empty(); }
  // The greatest byte length of an added path in the Windows Japanese code page.
  std::size_t LongestPathBytes() const { return longestBytes_; }

 private:
  std::vector<std::string> paths_;
  std::size_t longestBytes_ = 0;
};

}  // namespace dorvan
