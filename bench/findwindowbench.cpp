#include "bench/findwindowbench.h"

#include "bench/bench.h"
#include "bench/synthlibrary.h"
#include "library/librarypaths.h"
#include "library/librarypicture.h"
#include "ui/mainwindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace SynthLibrary;

namespace {

// In one snippet of a hundred, so that the list gets a realistic share.
const QByteArray rareWord = "quaternion";
constexpr int perCategory = 100;

QString libraryName(int snippets)
{
    return QStringLiteral("find%1").arg(snippets);
}

void build(const QString &dir, int snippets)
{
    if (QFileInfo::exists(dir))
        return;
    const int categories = std::max(1, snippets / perCategory / 10);
    for (int n = 0; n < snippets; ++n) {
        const int category = n / perCategory;
        const QString language = languageName(category / categories);
        const QString folder = LibraryPaths::categoryPath(dir, language, categoryName(category % categories));
        if (n % perCategory == 0)
            QDir().mkpath(folder);
        QByteArray text = snippetText(synopsisFor(language, categoryName(category), snippetName(n)),
                                      2 * 1024);
        if (n % 100 == 37)
            text.replace(text.size() / 2, rareWord.size(), rareWord);
        QFile file(folder + QLatin1Char('/') + snippetName(n) + LibraryPaths::snippetSuffix);
        expect(file.open(QIODevice::WriteOnly) && file.write(text) == text.size(),
               "the find library is written");
    }
}

// How long the GUI thread goes without looking at its events. A helper thread
// posts a stamped event every millisecond and the GUI thread notes how late
// each arrives: work that holds the thread for 50 ms leaves an event 50 ms
// late. (Watching the dispatcher's own wake-ups instead missed such a block:
// a stretch inside one processEvents() call never went to sleep between.)
class LatencyProbe
{
public:
    LatencyProbe()
    {
        m_clock.start();
        m_thread.reset(QThread::create([this] {
            while (!m_stop.load()) {
                const qint64 sent = m_clock.nsecsElapsed();
                QMetaObject::invokeMethod(
                    &m_context,
                    [this, sent] {
                        if (sent >= m_sinceNs.load())
                            m_longestNs = std::max(m_longestNs, m_clock.nsecsElapsed() - sent);
                    },
                    Qt::QueuedConnection);
                QThread::usleep(1000);
            }
        }));
        m_thread->start();
    }
    ~LatencyProbe()
    {
        m_stop = true;
        m_thread->wait();
    }
    void reset()
    {
        m_sinceNs = m_clock.nsecsElapsed();
        m_longestNs = 0;
    }
    double longestMs() const { return m_longestNs / 1e6; }

private:
    QObject m_context;
    QElapsedTimer m_clock;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sinceNs{0};
    qint64 m_longestNs = 0;
    std::unique_ptr<QThread> m_thread;
};

void runEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

long statusKilobytes(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// The resident size once the allocator has handed back what it holds free:
// otherwise what an earlier window freed is reused unseen, and a growth
// reads as none.
long residentKilobytes()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    return statusKilobytes("VmRSS:");
}

// The least a search of the library held in memory must do: the same word
// sought in the same snippets' text, already folded to lower case.
int floorSearch(const QList<QByteArray> &lowered)
{
    int found = 0;
    for (const QByteArray &text : lowered)
        found += text.contains(rareWord) ? 1 : 0;
    return found;
}

double median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : double(values.at(values.size() / 2));
}

struct Timing
{
    int snippets = 0;
    double oursMs = 0, floorMs = 0, rgMs = -1, firstRowMs = 0, busyMs = 0, addedMb = 0;
    double windowMs = 0, buildMs = 0, pictureMb = 0, outsideMs = 0, allMs = 0, allBusyMs = 0;
    double allAddedMb = 0;
    int all = 0;
    int found = 0, floorFound = 0;
};

Timing measure(int snippets, const Scale &scale, Libraries &libraries, LatencyProbe &probe)
{
    Timing timing;
    timing.snippets = snippets;
    libraries.activate(libraryName(snippets));
    const QString root = libraries.root();
    const long rssBefore = residentKilobytes();
    QElapsedTimer timer;
    timer.start();
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    timing.windowMs = timer.nsecsElapsed() / 1e6;
    auto *picture = window.findChild<LibraryPicture *>();
    while (!picture->snapshot().isComplete())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    timing.buildMs = timer.nsecsElapsed() / 1e6;
    runEventsFor(300); // the check of what changed while it was read
    timing.pictureMb = (statusKilobytes("VmRSS:") - rssBefore) / 1024.0;

    window.openFind(QStringLiteral("zzzz"));
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("findDialog"));
    auto *line = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"));
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("labelStatus"));
    auto *results = dialog->findChild<QListView *>(QStringLiteral("listViewResults"));
    const auto settle = [status] {
        while (status->text().contains(QLatin1String("Searching"))
               || status->text().startsWith(QLatin1String("Reading")))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    };
    settle();

    QList<QByteArray> lowered;
    for (const HeldCategory &category : picture->snapshot().categories) {
        for (const HeldSnippet &snippet : category.snippets)
            lowered.append(snippet.body.toLower());
    }
    const QString rg = QStandardPaths::findExecutable(QStringLiteral("rg"));
    qint64 firstRowNs = -1;
    QObject::connect(results->model(), &QAbstractItemModel::rowsInserted, dialog, [&] {
        if (firstRowNs < 0)
            firstRowNs = timer.nsecsElapsed();
    });
    QList<qint64> ours, floor, rgs, firstRows;
    QList<double> busiest;
    // The peak above the present size: Linux resets the peak to it on "5".
    const auto resetPeak = [] {
        const long now = residentKilobytes();
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        return now;
    };
    const auto addedSince = [](long before) { return (statusKilobytes("VmHWM:") - before) / 1024.0; };
    for (int run = 0; run <= std::max(scale.runs, 3); ++run) {
        // The first search: later ones reuse what the allocator kept.
        const bool peakRun = run == 0;
        const long before = peakRun ? resetPeak() : 0;
        probe.reset();
        firstRowNs = -1;
        timer.start();
        line->setText(QString::fromLatin1(rareWord)); // as the last keystroke would
        settle();
        const qint64 oursNs = timer.nsecsElapsed();
        const double busyMs = probe.longestMs();
        if (peakRun)
            timing.addedMb = addedSince(before);
        timing.found = results->model()->rowCount();
        timer.start();
        timing.floorFound = floorSearch(lowered);
        const qint64 floorNs = timer.nsecsElapsed();
        if (!rg.isEmpty()) {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            timer.start();
            process.start(rg, {QStringLiteral("-F"), QStringLiteral("-i"), QStringLiteral("-l"),
                               QString::fromLatin1(rareWord), root});
            process.waitForFinished(-1);
            if (run > 0)
                rgs.append(timer.nsecsElapsed());
        }
        if (run > 0) {
            ours.append(oursNs);
            floor.append(floorNs);
            firstRows.append(firstRowNs);
            busiest.append(busyMs);
        }
        line->setText(QStringLiteral("zzzz"));
        settle();
    }
    timing.oursMs = median(ours) / 1e6;
    timing.floorMs = median(floor) / 1e6;
    timing.rgMs = rgs.isEmpty() ? -1 : median(rgs) / 1e6;
    timing.firstRowMs = median(firstRows) / 1e6;
    timing.busyMs = *std::max_element(busiest.begin(), busiest.end());
    expect(timing.found == timing.floorFound, "the Find window lists what the floor finds");

    // Nothing typed lists every snippet: the longest list there is.
    probe.reset();
    const long beforeAll = resetPeak();
    timer.start();
    line->setText(QString());
    settle();
    timing.allMs = timer.nsecsElapsed() / 1e6;
    timing.allAddedMb = addedSince(beforeAll);
    timing.allBusyMs = probe.longestMs();
    timing.all = results->model()->rowCount();
    expect(timing.all == snippets, "the empty query lists every snippet");
    line->setText(QStringLiteral("zzzz"));
    settle();

    // Another program adds a snippet: until the picture says so.
    bool reported = false;
    QObject::connect(picture, &LibraryPicture::changedOnDisk, dialog, [&] { reported = true; });
    const QString added = picture->snapshot().categories.constLast().path
        + QStringLiteral("/outside.spt");
    timer.start();
    {
        QFile file(added);
        expect(file.open(QIODevice::WriteOnly) && file.write("outside\nbody\n") > 0,
               "the outside snippet is written");
    }
    while (!reported && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    timing.outsideMs = timer.nsecsElapsed() / 1e6;
    expect(reported, "the picture reports a snippet added outside");
    QFile::remove(added);
    runEventsFor(300);
    return timing;
}

const char *met(bool ok)
{
    return ok ? "yes" : "**no**";
}

} // namespace

void runFindWindowBench(const Scale &scale, Libraries &libraries)
{
    const bool smoke = scale.large.snippets < 1000;
    const QList<int> sizes = smoke ? QList<int>{100, 200, 2000} : QList<int>{1000, 10000, 100000};
    std::fprintf(stderr, "bench: building the Find window's libraries\n");
    QDir().mkpath(QFileInfo(libraries.root()).absolutePath()); // where a library is moved in
    for (const int size : sizes)
        build(libraries.stored(libraryName(size)), size);

    LatencyProbe probe;
    // The probe must see a deliberate block, or its zeros mean nothing.
    probe.reset();
    QTimer::singleShot(0, [] { QThread::msleep(50); });
    runEventsFor(120);
    const double calibrationMs = probe.longestMs();
    expect(calibrationMs >= 45, "the GUI-thread probe sees a deliberate 50 ms block");

    QList<Timing> timings;
    for (const int size : sizes)
        timings.append(measure(size, scale, libraries, probe));
    libraries.deactivate();

    std::printf("\n| Find window, one word, keystroke to full list | ours | in-memory floor | ratio "
                "| `rg -F -i -l` | target | met |\n"
                "|---|---:|---:|---:|---:|---|---|\n");
    for (const Timing &t : timings) {
        const QString rg = t.rgMs < 0 ? QStringLiteral("-") : QString::asprintf("%.1f ms", t.rgMs);
        std::printf("| %d snippets of 2 KB (%d found) | %.1f ms | %.1f ms | %.2f | %s | 2 x floor "
                    "| %s |\n",
                    t.snippets, t.found, t.oursMs, t.floorMs, t.oursMs / t.floorMs, qPrintable(rg),
                    t.snippets < 10000 ? "-" : met(t.oursMs <= 2 * t.floorMs));
    }
    std::printf("\n| Find window and the live library | measured | target | met |\n"
                "|---|---:|---|---|\n");
    for (const Timing &t : timings)
        std::printf("| first row after the keystroke, %d snippets | %.1f ms | 5 ms | %s |\n",
                    t.snippets, t.firstRowMs, met(t.firstRowMs <= 5));
    std::printf("| probe's reading of a deliberate 50 ms block on the GUI thread | %.1f ms | "
                "about 50 ms | %s |\n",
                calibrationMs, met(calibrationMs >= 45));
    for (const Timing &t : timings)
        std::printf("| longest GUI-thread stretch while %d results arrive (%d snippets) | %.1f ms "
                    "| 16 ms | %s |\n",
                    t.found, t.snippets, t.busyMs, met(t.busyMs <= 16));
    for (const Timing &t : timings)
        std::printf("| longest GUI-thread stretch while all %d rows arrive (empty query, %.0f ms "
                    "to the full list) | %.1f ms | 16 ms | %s |\n",
                    t.all, t.allMs, t.allBusyMs, met(t.allBusyMs <= 16));
    for (const Timing &t : timings)
        std::printf("| peak memory (RSS) added by the first search, %d found of %d snippets "
                    "| %.1f MB | - | - |\n",
                    t.found, t.snippets, t.addedMb);
    for (const Timing &t : timings)
        std::printf("| peak memory (RSS) added by listing all %d snippets | %.1f MB | - | - |\n",
                    t.snippets, t.allAddedMb);
    for (const Timing &t : timings) {
        const double textMb = t.snippets * 2.0 / 1024;
        std::printf("| memory (RSS) of the window and its picture, %d snippets (%.0f MB of text) "
                    "| %.1f MB | 1.5 x text + 40 MB | %s |\n",
                    t.snippets, textMb, t.pictureMb, met(t.pictureMb <= 1.5 * textMb + 40));
    }
    for (const Timing &t : timings)
        std::printf("| window shown, %d snippets | %.1f ms | 1000 ms | %s |\n", t.snippets,
                    t.windowMs, met(t.windowMs <= 1000));
    for (const Timing &t : timings)
        std::printf("| picture built behind it, %d snippets | %.1f ms | - | - |\n", t.snippets,
                    t.buildMs);
    for (const Timing &t : timings)
        std::printf("| a snippet added by another program, until the picture reports it, %d "
                    "snippets | %.1f ms | about 1 s | %s |\n",
                    t.snippets, t.outsideMs, met(t.outsideMs <= 1000));
}
