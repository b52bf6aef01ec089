// "DXF で保存…" of a found drawing: asks for a file (the preview's save dialog, a DXF name
// suggested) and writes the drawing there at real size.
#pragma once

#include <string>

class QWidget;

namespace dorvan::ui {

class MessageBoxes;
class PictureSaveDialog;

// Returns true when a DXF was written; a refusal or failure is shown in a message box.
bool SaveDrawingAsDxf(PictureSaveDialog& dialog, MessageBoxes& messages, QWidget* parent, const std::string& path);

}  // namespace dorvan::ui
