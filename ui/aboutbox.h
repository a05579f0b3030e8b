#pragma once

class QMainWindow;
class QWidget;

// Help > About: the program's version and the notices of the third-party
// code compiled into it, which their licences ask to be shown.
void addHelpMenu(QMainWindow *window);
void showAboutBox(QWidget *parent);
