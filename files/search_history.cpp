#include "files/search_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>

#include "reader/shift_jis.h"
#include "reader/unicode_text.h"

namespace dorvan {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Reads the file's bytes up to the end of its tenth line; lines after it are never read,
// so a huge file costs no more than its first lines.
bool ReadLeadingLines(const std::string& file, std::string& bytes, bool& complete) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  // Line ends are CR LF, LF or CR; the larger of the two counts never exceeds the lines.
  std::size_t carriageReturns = 0;
  std::size_t lineFeeds = 0;
  char buffer[4096];
  complete = true;
  while (std::max(carriageReturns, lineFeeds) < kHistoryLines) {
    in.read(buffer, sizeof buffer);
    const std::streamsize count = in.gcount();
    for (std::streamsize i = 0; i < count; ++i) {
      carriageReturns += buffer[i] == '\r';
      lineFeeds += buffer[i] == '\n';
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
    if (!in) {
      complete = in.eof();
      break;
    }
  }
  return true;
}

// Splits at CR LF, lone LF or lone CR; the end of the data ends the last line, and a
// terminator at the very end starts no further line.
std::vector<std::string_view> SplitLines(std::string_view text, std::size_t limit) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size() && lines.size() < limit) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(text.substr(start, end - start));
    if (end < text.size()) {
      const bool carriageReturn = text[end] == '\r';
      ++end;
      if (carriageReturn && end < text.size() && text[end] == '\n') ++end;
    }
    start = end;
  }
  return lines;
}

// Writes all of data to fd; false on any short or failed write.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The history as the file will hold it: Shift-JIS when every text has a form there,
// otherwise UTF-8 behind its byte-order mark.
std::string EncodeHistory(const std::vector<std::u16string>& items) {
  const std::size_t count = std::min(items.size(), kHistoryLines);
  std::string sjis;
  bool representable = true;
  for (std::size_t i = 0; i < count && representable; ++i) {
    const std::optional<std::string> encoded = sjis::Encode(items[i]);
    if (!encoded) {
      representable = false;
    } else {
      sjis += *encoded;
      sjis += "\r\n";
    }
  }
  if (representable) return sjis;
  std::string utf8(kUtf8Mark);
  for (std::size_t i = 0; i < count; ++i) {
    utf8 += Utf16ToUtf8(items[i]);
    utf8 += "\r\n";
  }
  return utf8;
}

}  // namespace

bool Load_data(std::vector<std::u16string>& items, const std::string& file) {
  std::string bytes;
  bool complete = true;
  if (!ReadLeadingLines(file, bytes, complete)) return false;
  const bool utf8 = std::string_view(bytes).starts_with(kUtf8Mark);
  std::string_view text(bytes);
  if (utf8) text.remove_prefix(kUtf8Mark.size());
  for (std::string_view line : SplitLines(text, kHistoryLines)) {
    items.push_back(utf8 ? Utf8ToUtf16(line) : sjis::Decode(line));
  }
  return complete;
}

int Add_Data(std::vector<std::u16string>& items, std::u16string_view text) {
  if (text.empty()) return -1;
  const std::size_t examined = std::min(items.size(), kHistoryLines);
  // After a removal the index still moves on, so the item that moved up into the freed
  // position is not examined: the history has always worked this way.
  for (std::size_t i = 0; i < examined; ++i) {
    if (i < items.size() && items[i] == text) items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
  }
  items.insert(items.begin(), std::u16string(text));
  return 0;
}

bool Save_data(const std::vector<std::u16string>& items, const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  // A settings file that is a link keeps being one: the file it points to is replaced.
  fs::path target(file);
  if (fs::is_symlink(target, error)) {
    fs::path resolved = fs::weakly_canonical(target, error);
    if (error) return false;
    target = resolved;
  }
  const std::string content = EncodeHistory(items);

  // The temporary file lies in the target's folder so that the rename cannot cross file
  // systems; its name is unique to this process and call.
  static std::atomic<unsigned> sequence{0};
  const std::string temporary = target.string() + ".tmp." + std::to_string(getpid()) + "." +
                                std::to_string(sequence.fetch_add(1));
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat old;
  bool ok = true;
  if (stat(target.c_str(), &old) == 0) ok = fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, content) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here no longer endangers the old history.
  fs::path folder = target.parent_path();
  const int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return true;
}

}  // namespace dorvan
