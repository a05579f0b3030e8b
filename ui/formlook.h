#pragma once

class QColor;
class QPalette;
class QString;
class QWidget;

// How the main form reads on the desktop's colour scheme.
namespace FormLook {

// The contrast ratio of two colours as the accessibility guidelines define
// it: 1 (none) to 21 (black on white). Alpha is ignored.
double contrast(const QColor &a, const QColor &b);

// A scheme is dark where its text is lighter than its window.
bool isDarkScheme(const QPalette &palette);

// The central widget's own rule on top of the window's translucent sheet.
// On a light palette: the opaque light background where there is no glass,
// nothing where there is. On a dark one: a background taken from the
// palette, dark enough for the labels' text to keep a 4.5:1 contrast.
QString centralSheet(const QPalette &palette, bool composition);

// Gives `central` the rule for its current palette. A sheet that is already
// there is not set again: every new sheet re-polishes the whole form.
void applyCentralSheet(QWidget *central, bool composition);

// Windows with "dark" apps: before the application object exists, asks the
// platform plugin for the dark palette unless the user chose a platform.
void prepareDesktopScheme();

// Windows' native style draws its controls light whatever the palette says;
// on a dark palette the portable style is used, which draws with it.
void followDesktopScheme();

} // namespace FormLook
