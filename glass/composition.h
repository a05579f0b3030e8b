#pragma once

class QWidget;
class WindowNotifier;

// Desktop composition (the translucent glass frame) through the "dwmapi"
// library, looked up at run time so that the program also runs where the
// library does not exist. Everything answers false without it.
bool resolveDwmLibrary();
bool isCompositionEnabled();
bool extendFrameIntoClientArea(QWidget *widget, int left, int right, int top, int bottom);
WindowNotifier *windowNotifier();
