#pragma once

#include "library/librarysearch.h"

#include <QList>
#include <QObject>
#include <QSemaphore>
#include <QThread>

#include <atomic>

// Runs the search over the library held in memory on a thread of its own, so
// that typing never waits for it. Each start cancels the search in progress;
// the first result arrives at once, the rest in small batches, and a batch of
// a superseded search is never delivered.
class FindSearch : public QObject
{
    Q_OBJECT

public:
    explicit FindSearch(QObject *parent = nullptr);
    ~FindSearch() override;

    void start(const LibrarySnapshot &library, const QString &query);
    void cancel();

Q_SIGNALS:
    void found(const QList<LibrarySearch::Hit> &hits);
    // `troubles`: "path: reason" of every snippet that could not be read.
    void finished(const QStringList &troubles);

private:
    void run(quint64 generation, const LibrarySnapshot &library, const QString &query);

    QThread m_thread;
    QObject *m_worker; // lives in m_thread; the context its work runs in
    std::atomic<quint64> m_generation{0};
    // Batches posted and not yet taken in: the search runs at most one ahead
    // of the list, or a queue of batches would hold the window in one go.
    std::atomic<int> m_inFlight{0};
    QSemaphore m_taken;
};
