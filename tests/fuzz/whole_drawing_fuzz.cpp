// libFuzzer target: any bytes given to the whole-drawing read end in a result, never in a
// crash, a hang or a runaway allocation.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reader/jww_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  dorvan::JwwReader reader;
  dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  const int32_t result =
      reader.ReadWholeDrawingFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), drawing);
  // A read that claims success consumed no more than it was given.
  if (result == 0 && reader.BytesConsumed() > size) __builtin_trap();
  return 0;
}
