// The threads the window's long jobs (reading a drawing for the preview, saving, printing,
// writing a DXF) run on.
#pragma once

class QThreadPool;

namespace dorvan::ui {

// A pool of its own, apart from Qt's global pool: Qt's raster engine hands large fills and
// image conversions to the global pool, so a long read or save queued there would hold up
// the painting of every window. Never destroyed: a job still running when the program ends
// is not waited for.
QThreadPool& BackgroundPool();

}  // namespace dorvan::ui
