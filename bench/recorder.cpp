#include "bench/recorder.h"

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

bool checksPassed = true;

QString sideName(Side side)
{
    switch (side) {
    case Side::Ours:
        return QStringLiteral("ours");
    case Side::Floor:
        return QStringLiteral("floor");
    case Side::Design:
        break;
    }
    return QStringLiteral("design");
}

} // namespace

Recorder::Recorder(Mode mode)
    : m_mode(mode)
{
}

void Recorder::setRecording(bool recording)
{
    m_recording = recording;
}

void Recorder::start(const QString &action, Side side)
{
    m_key = action + QLatin1Char('/') + sideName(side);
    m_running = true;
    if (m_mode == Mode::Mark)
        mark("begin");
    m_timer.start();
}

void Recorder::stop()
{
    const qint64 elapsed = m_timer.nsecsElapsed();
    expect(m_running, "a measured stretch was stopped without being started");
    m_running = false;
    if (m_mode == Mode::Mark)
        mark("end");
    else if (m_recording)
        m_samples[m_key].append(elapsed);
}

QList<qint64> Recorder::samples(const QString &action, Side side) const
{
    return m_samples.value(action + QLatin1Char('/') + sideName(side));
}

QString Recorder::markerPrefix()
{
    return QStringLiteral("/quillory-bench-mark/");
}

void Recorder::mark(const char *end) const
{
    if (!m_recording)
        return;
    // A path that cannot exist: the call fails at once and shows in the trace.
    const QByteArray path = (markerPrefix() + m_key + QLatin1Char('/')).toUtf8() + end;
    (void)::access(path.constData(), F_OK);
}

qint64 median(QList<qint64> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values.at(mid) : (values.at(mid - 1) + values.at(mid)) / 2;
}

void expect(bool condition, const char *what)
{
    if (condition)
        return;
    checksPassed = false;
    std::fprintf(stderr, "bench: check failed: %s\n", what);
}

bool allChecksPassed()
{
    return checksPassed;
}
