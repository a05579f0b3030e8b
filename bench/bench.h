#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

// What a section of the benchmark shares with the others: the clock and the
// rows of the table.

// Ours; the floor (the reads and widget work that no implementation can
// avoid, done with plain Qt calls); and the design floor, the floor plus what
// the window's own described behaviour adds to any implementation.
enum class Side { Ours, Floor, Design };

struct Row
{
    QString key;
    QString title;
    double target; // highest acceptable ours/floor ratio; 0 for none
};

// "key/ours", "key/floor", "key/design": how a side of an action is named.
QString sampleKey(const QString &key, Side side);

// Brackets each measured stretch. With marks on it also makes, at both ends,
// a system call that cannot succeed, so that bench/count-syscalls.sh can
// count in an strace log what lies between.
class Recorder
{
public:
    explicit Recorder(bool marks) : m_marks(marks) {}

    void setRecording(bool recording) { m_recording = recording; }
    void start(const QString &key, Side side);
    void stop();
    double medianMs(const QString &key, Side side) const; // 0 without samples

private:
    void mark(const char *end) const;

    bool m_marks;
    bool m_recording = false;
    QString m_key;
    QElapsedTimer m_timer;
    QHash<QString, QList<qint64>> m_samples;
};

// A section: its rows, and one run of all of them that the main loop calls
// once to warm up and then once per recorded run.
struct Section
{
    QList<Row> rows;
    std::function<void(int run)> run;
};

// A failed check means the benchmark measured something other than what it
// claims; the run goes on but exits with an error.
void expect(bool condition, const char *what);
bool allChecksPassed();
