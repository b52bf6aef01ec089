#include "index/stored_drawing.h"

#include <cstdint>
#include <cstring>
#include <unordered_set>

#include "reader/byte_cursor.h"
#include "reader/unicode_text.h"
#include "search/text_normaliser.h"

namespace dorvan::index {
namespace {

// Little-endian values, as the cursor reads them back.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  template <typename T>
  void Fixed(T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    }
    out_.append(bytes, sizeof(T));
  }
  // Lengths and counts in seven-bit groups: most names are empty or short, and 256 layer
  // names are in every header.
  void Count(std::size_t value) {
    while (value >= 0x80) {
      out_.push_back(static_cast<char>(0x80 | (value & 0x7F)));
      value >>= 7;
    }
    out_.push_back(static_cast<char>(value));
  }
  void Text(std::u16string_view text) {
    Count(text.size());
    for (char16_t unit : text) Fixed<uint16_t>(unit);
  }
  void Bytes(std::string_view text) {
    Count(text.size());
    out_.append(text);
  }

 private:
  std::string& out_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes)
      : cursor_(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}
  ByteCursor& cursor() { return cursor_; }
  uint32_t Varint() {
    uint32_t value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const uint8_t byte = cursor_.Byte();
      value |= static_cast<uint32_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    cursor_.Fail();
    return 0;
  }
  bool Text(std::u16string& text) {
    const uint32_t length = Varint();
    if (!cursor_.CanHold(length, 2)) return false;
    const uint8_t* p = cursor_.Take(std::size_t{length} * 2);
    if (p == nullptr) return false;
    text.resize(length);
    for (uint32_t i = 0; i < length; ++i) text[i] = static_cast<char16_t>(LoadLittleEndian<uint16_t>(p + 2 * i));
    return true;
  }
  bool Bytes(std::string& text) {
    const uint32_t length = Varint();
    if (!cursor_.CanHold(length, 1)) return false;
    const uint8_t* p = cursor_.Take(length);
    if (p == nullptr) return false;
    text.assign(reinterpret_cast<const char*>(p), length);
    return true;
  }
  // The count of items that follow, each at least `minBytes`; false when they cannot.
  bool Count(uint32_t& count, std::size_t minBytes) {
    count = Varint();
    return cursor_.CanHold(count, minBytes);
  }
  bool Done() const { return !cursor_.failed() && cursor_.remaining() == 0; }

 private:
  ByteCursor cursor_;
};

// Bytes every encoded text at least takes: base, geometry, kind, sizes, two lengths.
constexpr std::size_t kTextMinBytes = 15 + 32 + 4 + 32 + 2;
constexpr std::size_t kBlockMinBytes = 15 + 12 + 1 + 1;
constexpr uint32_t kHeaderTag = 0x31484456;  // "VDH1"
constexpr uint32_t kDataTag = 0x31444456;    // "VDD1"

void PutBase(Writer& w, const EntityBase& base) {
  w.Fixed<int32_t>(base.Group);
  w.Fixed<uint8_t>(base.PenStyle);
  w.Fixed<int16_t>(base.PenColour);
  w.Fixed<int16_t>(base.PenWidth);
  w.Fixed<int16_t>(base.Layer);
  w.Fixed<int16_t>(base.LayerGroup);
  w.Fixed<int16_t>(base.Flags);
}

void GetBase(ByteCursor& c, EntityBase& base) {
  base.Group = c.Dword();
  base.PenStyle = c.Byte();
  base.PenColour = c.Word();
  base.PenWidth = c.Word();
  base.Layer = c.Word();
  base.LayerGroup = c.Word();
  base.Flags = c.Word();
}

void PutTexts(Writer& w, const std::vector<TextEntity>& texts) {
  w.Count(texts.size() - 1);
  for (std::size_t i = 1; i < texts.size(); ++i) {
    const TextEntity& t = texts[i];
    PutBase(w, t.Base);
    for (double v : {t.StartX, t.StartY, t.EndX, t.EndY}) w.Fixed<double>(v);
    w.Fixed<int32_t>(t.TextKind);
    for (double v : {t.Width, t.Height, t.Spacing, t.Angle}) w.Fixed<double>(v);
    w.Text(t.FontName);
    w.Text(t.Text);
  }
}

bool GetTexts(Reader& r, std::vector<TextEntity>& texts) {
  uint32_t count = 0;
  if (!r.Count(count, kTextMinBytes)) return false;
  texts.resize(std::size_t{count} + 1);
  ByteCursor& c = r.cursor();
  for (uint32_t i = 1; i <= count; ++i) {
    TextEntity& t = texts[i];
    GetBase(c, t.Base);
    for (double* v : {&t.StartX, &t.StartY, &t.EndX, &t.EndY}) *v = c.Double();
    t.TextKind = c.Dword();
    for (double* v : {&t.Width, &t.Height, &t.Spacing, &t.Angle}) *v = c.Double();
    if (!r.Text(t.FontName) || !r.Text(t.Text)) return false;
  }
  return !c.failed();
}

}  // namespace

void EncodeHeader(const JwwHeader& header, std::string& out) {
  out.clear();
  Writer w(out);
  w.Fixed<uint32_t>(kHeaderTag);
  w.Fixed<int32_t>(header.Version);
  w.Fixed<int32_t>(header.DrawingSize);
  w.Fixed<int32_t>(header.PrintLineWidthBase());
  w.Text(header.Memo);
  for (const Text& name : header.LayerGroupNames) w.Text(name);
  for (const auto& group : header.LayerNames) {
    for (const Text& name : group) w.Text(name);
  }
}

bool DecodeHeader(std::string_view bytes, JwwHeader& header) {
  Reader r(bytes);
  ByteCursor& c = r.cursor();
  if (c.UDword() != kHeaderTag) return false;
  header.Version = c.Dword();
  header.DrawingSize = c.Dword();
  header.DrawingFlags[10] = c.Dword();
  if (!r.Text(header.Memo)) return false;
  for (Text& name : header.LayerGroupNames) {
    if (!r.Text(name)) return false;
  }
  for (auto& group : header.LayerNames) {
    for (Text& name : group) {
      if (!r.Text(name)) return false;
    }
  }
  return r.Done();
}

void EncodeData(const JwwDrawingData& data, std::string& out) {
  out.clear();
  Writer w(out);
  w.Fixed<uint32_t>(kDataTag);
  PutTexts(w, data.Texts);
  w.Count(data.BlockDefinitions.size() - 1);
  for (std::size_t b = 1; b < data.BlockDefinitions.size(); ++b) {
    const BlockDefinition& block = data.BlockDefinitions[b];
    PutBase(w, block.Base);
    w.Fixed<int32_t>(block.Number);
    w.Fixed<int32_t>(block.Referenced);
    w.Fixed<int32_t>(block.TimeStamp);
    w.Text(block.Name);
    PutTexts(w, block.Data.Texts);
  }
  w.Count(data.BlockIndexByNumber.size());
  for (int32_t index : data.BlockIndexByNumber) w.Fixed<int32_t>(index);
}

bool DecodeData(std::string_view bytes, JwwDrawingData& data) {
  Reader r(bytes);
  ByteCursor& c = r.cursor();
  if (c.UDword() != kDataTag || !GetTexts(r, data.Texts)) return false;
  uint32_t blocks = 0;
  if (!r.Count(blocks, kBlockMinBytes)) return false;
  data.BlockDefinitions.resize(std::size_t{blocks} + 1);
  for (uint32_t b = 1; b <= blocks; ++b) {
    BlockDefinition& block = data.BlockDefinitions[b];
    GetBase(c, block.Base);
    block.Number = c.Dword();
    block.Referenced = c.Dword();
    block.TimeStamp = c.Dword();
    if (!r.Text(block.Name) || !GetTexts(r, block.Data.Texts)) return false;
  }
  uint32_t numbers = 0;
  if (!r.Count(numbers, 4)) return false;
  data.BlockIndexByNumber.resize(numbers);
  for (int32_t& index : data.BlockIndexByNumber) index = c.Dword();
  return r.Done();
}

void EncodeMessages(const std::vector<StoredMessage>& messages, std::string& out) {
  out.clear();
  Writer w(out);
  w.Count(messages.size());
  for (const StoredMessage& message : messages) {
    w.Bytes(message.Text);
    w.Bytes(message.Title);
  }
}

bool DecodeMessages(std::string_view bytes, std::vector<StoredMessage>& messages) {
  messages.clear();
  if (bytes.empty()) return true;
  Reader r(bytes);
  uint32_t count = 0;
  if (!r.Count(count, 2)) return false;
  messages.resize(count);
  for (StoredMessage& message : messages) {
    if (!r.Bytes(message.Text) || !r.Bytes(message.Title)) return false;
  }
  return r.Done();
}

std::string NormalisedTexts(const JwwDrawingData& data) {
  // Drawings repeat their texts (room names, title blocks): each is indexed once.
  std::unordered_set<std::u16string_view> seen;
  std::u16string normalised;
  std::string lines;
  auto add = [&](const std::u16string& text) {
    if (text.empty() || !seen.insert(text).second) return;
    StrChange(text, normalised);
    // A line feed or NUL ends a line here; a search text never holds either, so no
    // occurrence is lost by splitting there.
    for (char16_t& unit : normalised) {
      if (unit == u'\0') unit = u'\n';
    }
    lines += Utf16ToUtf8(normalised);
    lines += '\n';
  };
  for (std::size_t i = 1; i < data.Texts.size(); ++i) add(data.Texts[i].Text);
  for (std::size_t b = 1; b < data.BlockDefinitions.size(); ++b) {
    const auto& texts = data.BlockDefinitions[b].Data.Texts;
    for (std::size_t i = 1; i < texts.size(); ++i) add(texts[i].Text);
  }
  return lines;
}

}  // namespace dorvan::index
