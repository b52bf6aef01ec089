// The parts of a drawing that the search ranges and the match records look at, as the
// index stores them: the header values, the texts of the drawing and of its blocks (text,
// layer group, layer and start point; each distinct text stored once), the block names and
// numbers, and the reader's messages of a read. Decoding goes through the bounds-checked cursor, so
// a damaged entry is refused instead of misread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader/jww_drawing.h"

namespace dorvan::index {

// One message the reader showed during a read, replayed when the entry answers the read.
struct StoredMessage {
  std::string Text;
  std::string Title;
  bool operator==(const StoredMessage&) const = default;
};

// Version, memo, drawing size, the print line-width base, layer group and layer names.
void EncodeHeader(const JwwHeader& header, std::string& out);
// Sets those fields of `header` (the others are left as they are); false for bytes that
// are not an encoded header.
bool DecodeHeader(std::string_view bytes, JwwHeader& header);

// The texts of the drawing, its block definitions (number, name, texts) and the block
// number index. With `signature`, also the trigram signature of its texts.
void EncodeData(const JwwDrawingData& data, std::string& out, std::string* signature = nullptr);
// Fills `data`, whose arrays must hold element 0 only; false for damaged bytes. The fields
// not stored keep their defaults.
bool DecodeData(std::string_view bytes, JwwDrawingData& data);

// The trigram signature of a drawing: a bit array in which every three consecutive UTF-16
// units of each of its texts in normalised form (the form the matcher compares) set two
// bits. A text that holds a search text holds each of its trigrams, so a signature missing
// a bit of one proves that no text of the drawing holds the search text.
//
// The keys of the trigrams of a normalised search text (none below three units).
std::vector<uint64_t> TrigramKeys(std::u16string_view normalisedText);
void AppendTrigramKeys(std::u16string_view normalisedText, std::vector<uint64_t>& keys);
// False when the signature proves that the drawing's texts hold not all of `keys`.
bool SignatureMayHold(std::string_view signature, const std::vector<uint64_t>& keys);

void EncodeMessages(const std::vector<StoredMessage>& messages, std::string& out);
bool DecodeMessages(std::string_view bytes, std::vector<StoredMessage>& messages);

}  // namespace dorvan::index
