// The application's own icon, drawn in code so that no image plugin is needed; it is the
// same picture as desktop/dorvan.svg, which the desktop entry uses.
#pragma once

#include <QIcon>

namespace dorvan::ui {

QIcon AppIcon();

}  // namespace dorvan::ui
