#include "index/stored_drawing.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "reader/byte_cursor.h"
#include "search/text_normaliser.h"

namespace dorvan::index {
namespace {

// Little-endian values, as the cursor reads them back.
template <typename T>
void StoreLittleEndian(char* at, T value) {
  std::memcpy(at, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(at[i], at[sizeof(T) - 1 - i]);
  }
}

class Writer {
 public:
  std::string& Out() { return out_; }
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

// Bytes every encoded text at least takes: text number, layer group, layer, start point.
constexpr std::size_t kTextMinBytes = 1 + 2 + 2 + 16;
constexpr std::size_t kBlockMinBytes = 4 + 1 + 1;
constexpr uint32_t kHeaderTag = 0x31484456;  // "VDH1"
constexpr uint32_t kDataTag = 0x32444456;    // "VDD2"
// Beyond this a drawing's signature only grows less precise.
constexpr std::size_t kLargestSignatureBytes = std::size_t{256} << 10;

// The distinct texts of a drawing, numbered in the order met: drawings repeat room names
// and title-block texts many times over.
class TextTable {
 public:
  TextTable() : slots_(1024) {}
  uint32_t NumberOf(const std::u16string& text) {
    // Open addressing over a hash of four units a multiply: a drawing's texts are many and
    // short, and this runs for each of them while the first search reads.
    const std::size_t size = text.size();
    uint64_t hash = (size + 1) * 0x9E3779B97F4A7C15ull;
    std::size_t at = 0;
    for (; at + 4 <= size; at += 4) {
      uint64_t word = 0;
      std::memcpy(&word, text.data() + at, 8);
      hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
      hash ^= hash >> 32;
    }
    uint64_t tail = 0;
    for (std::size_t unit = at; unit < size; ++unit) tail = tail << 16 | text[unit];
    hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ull;
    hash ^= hash >> 29;
    hash |= 1;  // zero marks a free slot
    std::size_t mask = slots_.size() - 1;
    for (std::size_t slotAt = hash & mask;; slotAt = (slotAt + 1) & mask) {
      Slot& slot = slots_[slotAt];
      if (slot.hash == 0) {
        slot = {hash, static_cast<uint32_t>(texts_.size()), static_cast<uint32_t>(size), text.data()};
        texts_.push_back(&text);
        if (texts_.size() * 2 > slots_.size()) Grow();
        return static_cast<uint32_t>(texts_.size() - 1);
      }
      // The slot's own copy of size and units spares a visit to the string it came from.
      if (slot.hash == hash && slot.size == size &&
          std::memcmp(slot.units, text.data(), size * sizeof(char16_t)) == 0) {
        return slot.number;
      }
    }
  }
  const std::vector<const std::u16string*>& Texts() const { return texts_; }

 private:
  struct Slot {
    uint64_t hash = 0;
    uint32_t number = 0;
    uint32_t size = 0;
    const char16_t* units = nullptr;  // of the first use, which outlives the table
  };
  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.hash == 0) continue;
      std::size_t at = slot.hash & mask;
      while (slots_[at].hash != 0) at = (at + 1) & mask;
      slots_[at] = slot;
    }
  }
  std::vector<Slot> slots_;
  std::vector<const std::u16string*> texts_;
};

void PutTexts(Writer& w, TextTable& table, const std::vector<TextEntity>& texts) {
  w.Count(texts.size() - 1);
  // Each use is a number of at most five bytes and 20 bytes of fields: the room is made
  // once and the bytes put in place, a drawing holding up to hundreds of thousands.
  constexpr std::size_t kMostBytes = 5 + 20;
  std::string& out = w.Out();
  const std::size_t start = out.size();
  out.resize(start + (texts.size() - 1) * kMostBytes);
  char* at = out.data() + start;
  for (std::size_t i = 1; i < texts.size(); ++i) {
    const TextEntity& t = texts[i];
    uint32_t number = table.NumberOf(t.Text);
    for (; number >= 0x80; number >>= 7) *at++ = static_cast<char>(0x80 | (number & 0x7F));
    *at++ = static_cast<char>(number);
    StoreLittleEndian(at, t.Base.LayerGroup);
    StoreLittleEndian(at + 2, t.Base.Layer);
    StoreLittleEndian(at + 4, t.StartX);
    StoreLittleEndian(at + 12, t.StartY);
    at += 20;
  }
  out.resize(static_cast<std::size_t>(at - out.data()));
}

bool GetTexts(Reader& r, const std::vector<std::u16string>& table, std::vector<TextEntity>& texts) {
  uint32_t count = 0;
  if (!r.Count(count, kTextMinBytes)) return false;
  texts.resize(std::size_t{count} + 1);
  ByteCursor& c = r.cursor();
  for (uint32_t i = 1; i <= count; ++i) {
    TextEntity& t = texts[i];
    const uint32_t number = r.Varint();
    if (number >= table.size()) return false;
    t.Text = table[number];
    t.Base.LayerGroup = c.Word();
    t.Base.Layer = c.Word();
    t.StartX = c.Double();
    t.StartY = c.Double();
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

void EncodeData(const JwwDrawingData& data, std::string& out, std::string* signature) {
  // The table of distinct texts goes after the entries that number them (it is complete
  // only then), its offset in front: the bytes are written once, in place.
  TextTable table;
  out.clear();
  std::size_t texts = data.Texts.size();
  for (const BlockDefinition& block : data.BlockDefinitions) texts += block.Data.Texts.size();
  out.reserve(16 + texts * (kTextMinBytes + 1));
  Writer w(out);
  w.Fixed<uint32_t>(kDataTag);
  w.Fixed<uint32_t>(0);  // the table's offset
  PutTexts(w, table, data.Texts);
  w.Count(data.BlockDefinitions.size() - 1);
  for (std::size_t k = 1; k < data.BlockDefinitions.size(); ++k) {
    const BlockDefinition& block = data.BlockDefinitions[k];
    w.Fixed<int32_t>(block.Number);
    w.Text(block.Name);
    PutTexts(w, table, block.Data.Texts);
  }
  w.Count(data.BlockIndexByNumber.size());
  for (int32_t index : data.BlockIndexByNumber) w.Fixed<int32_t>(index);
  const uint32_t tableOffset = static_cast<uint32_t>(out.size());
  for (std::size_t i = 0; i < 4; ++i) out[4 + i] = static_cast<char>(tableOffset >> (8 * i));
  w.Count(table.Texts().size());
  for (const std::u16string* text : table.Texts()) w.Text(*text);

  if (signature == nullptr) return;
  std::vector<uint64_t> keys;
  std::u16string normalised;
  for (const std::u16string* text : table.Texts()) {
    StrChange(*text, normalised);
    AppendTrigramKeys(normalised, keys);
  }
  // About ten bits a trigram: one trigram of a drawing's lacking ones passes for present
  // about once in thirty, a search text of five characters about once in 30,000.
  std::size_t bytes = 8;
  while (bytes < (keys.size() * 10 + 7) / 8 && bytes < kLargestSignatureBytes) bytes *= 2;
  signature->assign(keys.empty() ? 0 : bytes, '\0');
  const uint64_t mask = bytes * 8 - 1;
  for (uint64_t key : keys) {
    for (uint64_t bit : {key & mask, (key >> 32) & mask}) (*signature)[bit / 8] |= static_cast<char>(1u << (bit % 8));
  }
}

std::vector<uint64_t> TrigramKeys(std::u16string_view normalisedText) {
  std::vector<uint64_t> keys;
  AppendTrigramKeys(normalisedText, keys);
  return keys;
}

void AppendTrigramKeys(std::u16string_view normalisedText, std::vector<uint64_t>& keys) {
  for (std::size_t i = 0; i + 3 <= normalisedText.size(); ++i) {
    uint64_t z = (uint64_t{normalisedText[i]} << 32 | uint64_t{normalisedText[i + 1]} << 16 | normalisedText[i + 2]) +
                 0x9E3779B97F4A7C15ull;  // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    keys.push_back(z ^ (z >> 31));
  }
}

bool SignatureMayHold(std::string_view signature, const std::vector<uint64_t>& keys) {
  // A size that is no power of two is no signature this program wrote: it proves nothing.
  const std::size_t bytes = signature.size();
  if (bytes == 0) return keys.empty();
  if ((bytes & (bytes - 1)) != 0) return true;
  const uint64_t mask = bytes * 8 - 1;
  for (uint64_t key : keys) {
    for (uint64_t bit : {key & mask, (key >> 32) & mask}) {
      if ((static_cast<unsigned char>(signature[bit / 8]) & (1u << (bit % 8))) == 0) return false;
    }
  }
  return true;
}

bool DecodeData(std::string_view bytes, JwwDrawingData& data) {
  Reader r(bytes);
  ByteCursor& c = r.cursor();
  if (c.UDword() != kDataTag) return false;
  const uint32_t tableOffset = c.UDword();
  if (c.failed() || tableOffset < c.offset() || tableOffset > bytes.size()) return false;
  Reader tableReader(bytes.substr(tableOffset));
  uint32_t distinct = 0;
  if (!tableReader.Count(distinct, 1)) return false;
  std::vector<std::u16string> table(distinct);
  for (std::u16string& text : table) {
    if (!tableReader.Text(text)) return false;
  }
  if (!tableReader.Done()) return false;
  if (!GetTexts(r, table, data.Texts)) return false;
  uint32_t blocks = 0;
  if (!r.Count(blocks, kBlockMinBytes)) return false;
  data.BlockDefinitions.resize(std::size_t{blocks} + 1);
  for (uint32_t k = 1; k <= blocks; ++k) {
    BlockDefinition& block = data.BlockDefinitions[k];
    block.Number = c.Dword();
    if (!r.Text(block.Name) || !GetTexts(r, table, block.Data.Texts)) return false;
  }
  uint32_t numbers = 0;
  if (!r.Count(numbers, 4)) return false;
  data.BlockIndexByNumber.resize(numbers);
  for (int32_t& index : data.BlockIndexByNumber) index = c.Dword();
  return !c.failed() && c.offset() == tableOffset;
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

}  // namespace dorvan::index
