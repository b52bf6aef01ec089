// The DXF a found drawing is opened as: written once into the user's cache folder, under
// the drawing's own name, and reused while the drawing is unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "export/dxf_writer.h"

namespace dorvan::dxf {

// $XDG_CACHE_HOME/dorvan/dxf (~/.cache/dorvan/dxf when the variable is unset or relative).
std::string DxfCacheFolder();

// Where the DXF of `drawingPath` is kept: a folder named by a hash of the drawing's folder
// (drawings of one name in two folders stay apart), the drawing's name with ".dxf".
std::string CachedDxfPath(const std::string& drawingPath, const std::string& cacheFolder);

struct CachedDxf {
  DxfOutcome outcome = DxfOutcome::CannotWrite;
  int32_t readResult = 0;  // the reader's result when the drawing could not be read
  std::string path;        // the DXF, when written or reused
  bool reused = false;
};

// The drawing's DXF at real size: the kept one when its time matches the drawing's (it is
// given the drawing's modification time when written), otherwise written anew.
CachedDxf MakeCachedDxf(const std::string& drawingPath, const std::string& cacheFolder);

}  // namespace dorvan::dxf
