// Opening a listed drawing with the desktop's application, as a double-click or "開く" does;
// a drawing the desktop cannot open is reported instead of passed over in silence.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "files/shell_open.h"

class QWidget;

namespace dorvan::ui {

class MessageBoxes;

// The message for a drawing that could not be opened: its shown path, the reason for the
// opener's error number, and the system's own words when it has any.
// `folder`: the path is a folder ("フォルダを開く"), and the text calls it one.
QString OpenFailureText(const std::string& path, int32_t error, const std::string& detail, bool folder = false);

// The MIME type of DXF drawings, which CAD programs on the desktop register for.
inline constexpr char kDxfContentType[] = "image/vnd.dxf";

// Asks `shell` to open `path` (a drawing maximised, or a folder); when the request cannot be
// issued, shows the reason in a message box (stop icon, OK, the main window's caption) over
// `parent`, which offers "プレビュー" as well when `preview` is given and runs it when chosen,
// and "DXF で開く" for a drawing without an application when the desktop has one for DXF.
// Returns the opener's result.
int32_t OpenDrawing(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path,
                    int32_t showCommand = kShowMaximized, const std::function<void()>& preview = {},
                    bool folder = false);

// "DXF で開く": writes the drawing's DXF into the cache (or reuses it) on a worker thread and
// then opens it with the desktop's application for DXF; what keeps it from opening is shown
// in a message box over `parent`. Returns at once.
void OpenAsDxf(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path);

}  // namespace dorvan::ui
