#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

// Ours; the floor; and the floor plus what the program's own description
// adds to any implementation (the settings write of every load, the listing
// at start-up, reading the text back out of the editor for a save).
enum class Side { Ours, Floor, Design };

// Brackets the measured stretch of each action. Timing collects wall-clock
// samples; marking instead issues a recognisable system call at both ends, so
// that a run under strace counts the very same code that was timed.
class Recorder
{
public:
    enum class Mode { Time, Mark };

    explicit Recorder(Mode mode);

    // The warm-up pass runs everything once without keeping anything.
    void setRecording(bool recording);

    void start(const QString &action, Side side);
    void stop();

    QList<qint64> samples(const QString &action, Side side) const; // nanoseconds

    static QString markerPrefix();

private:
    void mark(const char *end) const;

    Mode m_mode;
    bool m_recording = false;
    bool m_running = false;
    QString m_key;
    QElapsedTimer m_timer;
    QHash<QString, QList<qint64>> m_samples;
};

qint64 median(QList<qint64> values);

// A failed check means the benchmark measured something other than what it
// claims; the run goes on but exits with an error.
void expect(bool condition, const char *what);
bool allChecksPassed();
