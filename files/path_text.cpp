#include "files/path_text.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unicode/ustring.h>

#include <memory>
#include <optional>

#include "reader/shift_jis.h"
#include "reader/unicode_text.h"

namespace dorvan {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The name as Shift-JIS when every byte belongs to a character the code page has.
std::optional<std::u16string> CleanShiftJis(std::string_view bytes) {
  const sjis::DecodeTables& tables = sjis::GetDecodeTables();
  std::u16string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    char16_t c = kReplacement;
    if (sjis::IsLeadByte(b)) {
      if (i + 1 == bytes.size()) return std::nullopt;
      c = tables.pairs[(static_cast<unsigned>(b) << 8) | static_cast<uint8_t>(bytes[++i])];
    } else {
      c = tables.single[b];
    }
    if (c == kReplacement) return std::nullopt;
    text.push_back(c);
  }
  return text;
}

std::u16string NameDisplayText(std::string_view name) {
  if (IsValidUtf8(name)) return Utf8ToUtf16(name);
  if (std::optional<std::u16string> text = CleanShiftJis(name)) return *text;
  return Utf8ToUtf16(name);
}

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  // Preflight only: the length of the UTF-16 form, with an error for any invalid sequence.
  u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  return status == U_BUFFER_OVERFLOW_ERROR || status == U_STRING_NOT_TERMINATED_WARNING ||
         U_SUCCESS(status);
}

std::u16string PathDisplayText(std::string_view path) {
  // Each name is decided on its own: a Shift-JIS file name in a UTF-8 folder is common on a
  // copied share, and deciding for the whole path would garble the folder's name.
  std::u16string text;
  text.reserve(path.size());
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    text += NameDisplayText(path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) break;
    text.push_back(u'/');
    start = slash + 1;
  }
  return text;
}

std::vector<std::string> PathsShownAs(std::u16string_view shown, const NameDecoder& decode,
                                      std::size_t limit) {
  if (shown.empty() || shown.front() != u'/') return {};
  std::vector<std::string> paths{""};  // "" is the root folder, which every path joins with "/"
  std::size_t start = 1;
  while (start <= shown.size() && !paths.empty()) {
    std::size_t slash = shown.find(u'/', start);
    if (slash == std::u16string_view::npos) slash = shown.size();
    const std::u16string_view name = shown.substr(start, slash - start);
    start = slash + 1;
    if (name.empty()) continue;

    const std::string utf8 = Utf16ToUtf8(name);
    std::vector<std::string> longer;
    for (const std::string& folder : paths) {
      struct stat status {};
      const std::string direct = folder + "/" + utf8;
      if (name.find(kReplacement) == std::u16string_view::npos && ::lstat(direct.c_str(), &status) == 0) {
        longer.push_back(direct);
        continue;
      }
      std::unique_ptr<DIR, FolderCloser> entries(::opendir(folder.empty() ? "/" : folder.c_str()));
      if (!entries) continue;
      while (const dirent* entry = ::readdir(entries.get())) {
        const std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == "..") continue;
        if (decode(entryName) == name && longer.size() < limit) longer.push_back(folder + "/" + std::string(entryName));
      }
    }
    paths = std::move(longer);
  }
  for (std::string& path : paths) {
    if (path.empty()) path = "/";
  }
  return paths;
}

}  // namespace dorvan
