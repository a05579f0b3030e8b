#include "ui/findsearch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// Often enough that the list fills while the search goes on, seldom enough
// that inserting a batch stays a short piece of work for the GUI thread.
constexpr qint64 batchIntervalMs = 16;
// A list of everything comes faster than that: a cap keeps each insertion
// a few milliseconds of the GUI thread's time even when it shares a core.
constexpr qsizetype largestBatch = 4000;

} // namespace

FindSearch::FindSearch(QObject *parent)
    : QObject(parent)
    , m_worker(new QObject)
{
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("find"));
    m_thread.start(QThread::LowPriority);
}

FindSearch::~FindSearch()
{
    cancel();
    m_thread.quit();
    m_thread.wait();
}

void FindSearch::start(const LibrarySnapshot &library, const QString &query)
{
    const quint64 generation = ++m_generation;
    QMetaObject::invokeMethod(
        m_worker, [this, generation, library, query] { run(generation, library, query); },
        Qt::QueuedConnection);
}

void FindSearch::cancel()
{
    ++m_generation;
}

void FindSearch::run(quint64 generation, const LibrarySnapshot &library, const QString &query)
{
    const auto superseded = [this, generation] { return m_generation.load() != generation; };
    if (superseded())
        return; // a later keystroke's search is queued behind this one

    QList<LibrarySearch::Hit> pending;
    QStringList troubles;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    bool firstDelivered = false;
    // Posted to this object in the GUI thread; checked again there, since a
    // keystroke may have come between posting and delivery.
    const auto deliver = [&] {
        if (pending.isEmpty())
            return;
        ++m_inFlight;
        QMetaObject::invokeMethod(
            this,
            [this, generation, hits = std::move(pending)] {
                if (m_generation.load() == generation)
                    Q_EMIT found(hits);
                --m_inFlight;
                m_taken.release();
            },
            Qt::QueuedConnection);
        pending = {};
        firstDelivered = true;
        sinceBatch.restart();
    };

    LibrarySearch::Callbacks callbacks;
    callbacks.stop = [&] {
        // Sparse hits still reach the list while a large library is read.
        if (!pending.isEmpty() && sinceBatch.elapsed() >= batchIntervalMs
            && m_inFlight.load() == 0)
            deliver();
        return superseded();
    };
    callbacks.found = [&](LibrarySearch::Hit &&hit) {
        pending.append(std::move(hit));
        // The first row is never held back for a batch to fill.
        if (firstDelivered && pending.size() < largestBatch
            && sinceBatch.elapsed() < batchIntervalMs)
            return;
        if (m_inFlight.load() > 0) {
            if (pending.size() < largestBatch)
                return; // gathered into the next batch meanwhile
            // Woken when the list has taken a batch; the timeout only
            // re-checks for a newer keystroke.
            while (m_inFlight.load() > 0 && !superseded())
                m_taken.tryAcquire(1, 5);
        }
        deliver();
    };
    callbacks.trouble = [&](const QString &path, const QString &reason) {
        troubles.append(QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason);
    };
    if (!LibrarySearch::run(library, SnippetQuery(query), callbacks))
        return;
    deliver();
    QMetaObject::invokeMethod(
        this,
        [this, generation, troubles] {
            if (m_generation.load() == generation)
                Q_EMIT finished(troubles);
        },
        Qt::QueuedConnection);
}
