// libFuzzer target: the header-only read, with a small first chunk so that the growing of
// the chunk is exercised as well.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reader/jww_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  dorvan::JwwReader reader;
  reader.SetFirstHeaderChunk(size > 0 ? 64 + data[0] * 16 : 64);
  dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  reader.ReadHeaderFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), drawing);
  if (reader.GetReadError() == 0 && reader.BytesConsumed() > size) __builtin_trap();
  return 0;
}
