// A picture of the main window for the documentation: when the environment variable
// DORVAN_SCREENSHOT names a PNG file, the window saves itself there once it is on the
// screen and the program quits.
#pragma once

class QWidget;

namespace dorvan::ui {

// Call when the window has been shown; does nothing without DORVAN_SCREENSHOT.
void SaveScreenshotIfAsked(QWidget& window);

}  // namespace dorvan::ui
