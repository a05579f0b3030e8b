#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <unistd.h>

// What the sections of the benchmark share: the clock and the table's rows.

// Ours; the floor (the reads and widget work that no implementation can
// avoid, done with plain Qt calls); and the design floor, the floor plus what
// the window's own described behaviour adds to any implementation.
enum class Side { Ours, Floor, Design };

inline QString sampleKey(const QString &key, Side side) // "key/ours"
{
    static const char *const sides[] = {"/ours", "/floor", "/design"};
    return key + QLatin1String(sides[int(side)]);
}

struct Row
{
    QString key;
    QString title;
    double target; // highest acceptable ours/floor ratio; 0 for none
};

// A section: its rows, and one run of all of them, which the main loop calls
// once to warm up and then once per recorded run.
struct Section
{
    QList<Row> rows;
    std::function<void(int run)> run;
};

// Brackets each measured stretch. With marks on it also makes, at both ends
// of a recorded stretch, a system call that cannot succeed, so that
// bench/count-syscalls.sh can count in an strace log what lies between.
class Recorder
{
public:
    explicit Recorder(bool marks) : m_marks(marks) {}

    void setRecording(bool recording) { m_recording = recording; }
    void start(const QString &key, Side side)
    {
        m_key = sampleKey(key, side);
        mark("begin");
        m_timer.start();
    }
    void stop()
    {
        const qint64 elapsed = m_timer.nsecsElapsed();
        mark("end");
        if (m_recording)
            m_samples[m_key].append(elapsed);
    }
    // A sample measured otherwise, such as a longest stretch within a run.
    void add(const QString &key, Side side, qint64 nanoseconds)
    {
        if (m_recording)
            m_samples[sampleKey(key, side)].append(nanoseconds);
    }
    double medianMs(const QString &key, Side side) const // 0 without samples
    {
        QList<qint64> values = m_samples.value(sampleKey(key, side));
        std::sort(values.begin(), values.end());
        const qsizetype n = values.size();
        return n ? (values.at((n - 1) / 2) + values.at(n / 2)) / 2e6 : 0;
    }

private:
    void mark(const char *end) const
    {
        if (!m_marks || !m_recording)
            return;
        const QByteArray path = "/quillory-bench-mark/" + m_key.toUtf8() + '/' + end;
        (void)::access(path.constData(), F_OK);
    }

    bool m_marks;
    bool m_recording = false;
    QString m_key;
    QElapsedTimer m_timer;
    QHash<QString, QList<qint64>> m_samples;
};

// A failed check means the benchmark measured something other than what it
// claims; the run goes on but exits with an error.
inline bool checksPassed = true;

inline void expect(bool condition, const char *what)
{
    if (!condition) {
        checksPassed = false;
        std::fprintf(stderr, "bench: check failed: %s\n", what);
    }
}
