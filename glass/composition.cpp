#include "glass/composition.h"

// Placeholder until the composition lookup lands.
bool resolveDwmLibrary() { return false; }
bool isCompositionEnabled() { return false; }
bool extendFrameIntoClientArea(QWidget *, int, int, int, int) { return false; }
WindowNotifier *windowNotifier() { return nullptr; }
