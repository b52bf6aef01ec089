// The start of the desktop program (module `nizyukidou`).
#pragma once

namespace dorvan::ui {

// One running copy per user: a second start ends at once, silently, and leaves the first
// copy as it is. Otherwise the main window is loaded (history, command-line drawings, the
// gzip check) and shown; the process lives until it closes. Returns the exit code.
int Main(int argc, char** argv);

}  // namespace dorvan::ui
