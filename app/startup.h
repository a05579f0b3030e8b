#pragma once

class QWidget;

// Name, version and maker under which QSettings keeps the per-user settings;
// must run before anything reads them.
void setApplicationIdentity();

// Extends the glass frame over the whole window where desktop composition
// is on; elsewhere the window keeps its margins and gets no glass.
void applyGlassFrame(QWidget *window);
