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
QString OpenFailureText(const std::string& path, int32_t error, const std::string& detail);

// Asks `shell` to open `path` (a drawing maximised, or a folder); when the request cannot be
// issued, shows the reason in a message box (stop icon, OK, the main window's caption) over
// `parent`, which offers "プレビュー" as well when `preview` is given and runs it when chosen.
// Returns the opener's result.
int32_t OpenDrawing(ShellOpener& shell, MessageBoxes& messages, QWidget* parent, const std::string& path,
                    int32_t showCommand = kShowMaximized, const std::function<void()>& preview = {});

}  // namespace dorvan::ui
