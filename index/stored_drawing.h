// The parts of a drawing that the search ranges look at, as the index stores them: the
// header values, the texts of the drawing and of its blocks with every field of a text,
// and the reader's messages of a read. Decoding goes through the bounds-checked cursor, so
// a damaged entry is refused instead of misread.
#pragma once

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

// The texts of the drawing, its block definitions (base, number, name, texts) and the
// block number index.
void EncodeData(const JwwDrawingData& data, std::string& out);
// Fills `data`, whose arrays must hold element 0 only; false for damaged bytes.
bool DecodeData(std::string_view bytes, JwwDrawingData& data);

void EncodeMessages(const std::vector<StoredMessage>& messages, std::string& out);
bool DecodeMessages(std::string_view bytes, std::vector<StoredMessage>& messages);

// The normalised form (the one the matcher compares) of every distinct text of the
// drawing and its blocks, in UTF-8, one a line: what the trigram table indexes.
std::string NormalisedTexts(const JwwDrawingData& data);

}  // namespace dorvan::index
