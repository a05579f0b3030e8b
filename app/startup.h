#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The program's own command line, read before the application object exists:
// Qt takes every option it knows from whatever it is given, and a search
// word such as "--platform" or "-reverse" is not one of its options.
struct ProgramArguments
{
    // How many of argv's first entries Qt may read: those before "--find".
    int qtArgumentCount = 0;
    // `quillory [QT OPTIONS] --find [WORDS...]`: the words as one query.
    std::optional<QString> findQuery;
};

ProgramArguments readProgramArguments(int argc, char *argv[]);

// The process-wide set-up that the program and every test process run once,
// before the application object exists: identity, signals, the regular
// expression engine and the settings files. Returns a notice for the window
// to show, or an empty string. Call it once.
QString prepareProcess();

// Name, version and maker under which QSettings keeps the per-user settings;
// must run before anything reads them.
void setApplicationIdentity();

// Extends the glass frame over the whole window where desktop composition
// is on; elsewhere the window keeps its margins and gets no glass.
void applyGlassFrame(QWidget *window);

// One implementation per platform, picked by CMake; prepareProcess() runs them.
namespace PlatformStartup {

// The arguments as the user typed them, argv's count and order.
QStringList commandLine(int argc, char *argv[]);

// Settles what must hold before any thread runs: see each platform's file.
void prepareThreads();

// Opening a FIFO in the settings file's place, or taking a lock where a
// folder or FIFO stands, waits for ever. When anything but a regular file or
// nothing stands there, the settings are neither read nor written for the
// rest of the process; the answer then says why, naming the file, and is
// empty otherwise.
QString keepSettingsFromBlocking();

} // namespace PlatformStartup
