// What the interface tells and draws of one drawing: its info, a whole picture (the
// thumbnail and the exports) and one view of it (the zooming, panning preview).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace dorvan::server {

// A layer group (0-15) with one layer (0-15), or the whole group when Layer is -1.
struct LayerRef {
  int Group = 0;
  int Layer = -1;
};

// "0-5,1,a-f": hexadecimal group[-layer] items as the drawing program shows layers; false
// for anything else.
bool ParseLayers(const std::string& text, std::vector<LayerRef>& layers);

struct PictureRequest {
  int Width = 0;
  int Height = 0;
  std::optional<std::array<double, 4>> View;  // x0, y0, x1, y1 in sheet millimetres
  std::vector<LayerRef> Hidden;
};

enum class ExportKind { Png, Svg, Pdf };

struct HeldDrawing;   // a parsed drawing with what is made of it once
struct PaintingDesk;  // the buffers of one painting turn

// Turns at painting, given in the order they were asked for, each at a desk whose buffers
// (a picture's pixels and its compression) are kept from turn to turn: made anew, large
// buffers come from the system each time, and faulting in their pages cost a third of a
// preview's time.
class PaintingTurns {
 public:
  explicit PaintingTurns(int turns);
  ~PaintingTurns();
  PaintingDesk& Take();
  void Give(PaintingDesk& desk);

 private:
  std::mutex mutex_;
  std::condition_variable given_;
  uint64_t asked_ = 0;
  uint64_t admitted_;
  std::vector<std::unique_ptr<PaintingDesk>> desks_;
  std::vector<PaintingDesk*> free_;
};

// Makes the info, pictures and exports of drawings by their paths. The web page asks many
// views of the same drawing while it is zoomed and panned, so the drawings recently
// previewed are kept parsed (with their framing and info), and the recent previews as PNG,
// each under a bound of bytes. Every request looks at the file first: a file whose
// device, inode, size, modification or change time differ is read again, never answered
// from what was kept of it. A file changed within `settle` of its read is not kept, as its
// times may not yet tell a next change apart (file systems count time in coarse steps).
class PictureMaker {
 public:
  struct Limits {
    std::size_t DrawingBytes = 64u << 20;
    std::size_t PictureBytes = 16u << 20;
    std::chrono::nanoseconds Settle = std::chrono::seconds(2);
    // Pictures painted at once: more than the cores only share them, each holding its
    // image meanwhile.
    int Painting = 0;  // 0: one a core
  };
  PictureMaker() : PictureMaker(Limits{}) {}
  explicit PictureMaker(const Limits& limits);
  ~PictureMaker();

  // Each returns false when the drawing cannot be read (or the picture cannot be made).
  bool InfoJson(const std::string& path, std::string& json);
  bool PicturePng(const std::string& path, const PictureRequest& request, std::string& png);
  bool ThumbnailPng(const std::string& path, int longerSide, std::string& png);
  bool ExportBytes(const std::string& path, ExportKind kind, std::string& bytes);

 private:
  // The drawing as the file holds it now, kept for the next request when `keep`: a page of
  // results asks a hundred thumbnails, which would push out the drawing being zoomed.
  std::shared_ptr<const HeldDrawing> Load(const std::string& path, bool keep);

  const Limits limits_;
  PaintingTurns painting_;
  std::mutex mutex_;
  // Most recently used first.
  std::list<std::pair<std::string, std::shared_ptr<const HeldDrawing>>> drawings_;
  std::unordered_map<std::string, decltype(drawings_)::iterator> drawingByPath_;
  std::size_t drawingBytes_ = 0;
  std::list<std::pair<std::string, std::string>> pictures_;
  std::unordered_map<std::string, decltype(pictures_)::iterator> pictureByKey_;
  std::size_t pictureBytes_ = 0;
};

}  // namespace dorvan::server
