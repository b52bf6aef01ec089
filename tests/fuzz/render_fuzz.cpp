// libFuzzer target: any drawing the reader accepts is framed and drawn as a thumbnail
// without a crash, a hang (run_fuzzers.sh gives each input a time limit) or a runaway
// allocation.
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "reader/jww_reader.h"
#include "render/drawing_painter.h"

namespace {

// Fonts need a GUI application; one serves every input.
QGuiApplication* application = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  application = new QGuiApplication(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  dorvan::JwwReader reader;
  dorvan::JwwDrawing& drawing = reader.CurrentDrawing();
  if (reader.ReadWholeDrawingFromBytes(std::string_view(reinterpret_cast<const char*>(data), size), drawing) != 0)
    return 0;
  const QImage picture = dorvan::render::RenderPicture(drawing, 64);
  if (picture.isNull()) __builtin_trap();
  return 0;
}
