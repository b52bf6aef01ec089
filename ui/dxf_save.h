// "DXF で保存…" of a found drawing: asks for a file (the preview's save dialog, a DXF name
// suggested) and writes the drawing there at real size, on a worker thread.
#pragma once

#include <string>

class QWidget;

namespace dorvan::ui {

class MessageBoxes;
class PictureSaveDialog;

// Returns true when the write was started (a file was chosen); a refusal or failure is
// shown in a message box when it ends.
bool SaveDrawingAsDxf(PictureSaveDialog& dialog, MessageBoxes& messages, QWidget* parent, const std::string& path);

}  // namespace dorvan::ui
