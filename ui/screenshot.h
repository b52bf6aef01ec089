// A picture of the main window for the documentation: when the environment variable
// DORVAN_SCREENSHOT names a PNG file, the window saves itself there once it is on the
// screen and the program quits. DORVAN_SCREENSHOT_SEARCH, when set, is searched for first
// so that the picture shows a found list; with DORVAN_SCREENSHOT_MATCHES set as well, the
// picture is the matches window ("一致箇所") of the first found drawing; with
// DORVAN_SCREENSHOT_PREVIEW, the preview window of the first found drawing.
#pragma once

namespace dorvan::ui {

class MainWindow;

// Call when the window has been shown; does nothing without DORVAN_SCREENSHOT.
void SaveScreenshotIfAsked(MainWindow& window);

}  // namespace dorvan::ui
