#include "bench/findwindowbench.h"

#include "bench/bench.h"
#include "bench/synthlibrary.h"
#include "library/librarypaths.h"
#include "ui/mainwindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>

#include <algorithm>
#include <cstdio>

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

// The time the GUI thread spends between two waits for events: what a
// keystroke may have to wait for.
class BusyWatch
{
public:
    BusyWatch()
    {
        auto *dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, &m_context,
                         [this] { m_awake.start(); });
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &m_context, [this] {
            if (m_awake.isValid())
                m_longestNs = std::max(m_longestNs, m_awake.nsecsElapsed());
        });
    }
    void reset() { m_longestNs = 0; }
    double longestMs() const { return m_longestNs / 1e6; }

private:
    QObject m_context;
    QElapsedTimer m_awake;
    qint64 m_longestNs = 0;
};

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

// The least any search must do: list the files, read each, look for the word.
int floorSearch(const QString &root)
{
    int found = 0;
    QDirIterator it(root, {QStringLiteral("*.spt")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().toLower().contains(rareWord))
            ++found;
    }
    return found;
}

struct Timing
{
    double oursMs = 0, floorMs = 0, busyMs = 0, addedMb = 0;
    int found = 0, floorFound = 0;
};

Timing measure(int snippets, const Scale &scale, Libraries &libraries)
{
    libraries.activate(libraryName(snippets));
    const QString root = libraries.root();
    MainWindow window;
    window.show();
    window.openFind(QStringLiteral("zzzz"));
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("findDialog"));
    auto *line = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"));
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("labelStatus"));
    auto *results = dialog->findChild<QListView *>(QStringLiteral("listViewResults"));
    const auto settle = [status] {
        while (status->text().startsWith(QLatin1String("Searching")))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    };
    settle();

    BusyWatch busy;
    QList<qint64> ours, floor;
    QList<double> busiest;
    Timing timing;
    for (int run = 0; run <= std::max(scale.runs, 3); ++run) {
        QElapsedTimer timer;
        busy.reset();
        const bool peakRun = run == 1;
        const long before = statusKilobytes("VmRSS:");
        if (peakRun) {
            // Linux resets the peak to the present size on "5".
            QFile clear(QStringLiteral("/proc/self/clear_refs"));
            if (clear.open(QIODevice::WriteOnly))
                clear.write("5");
        }
        timer.start();
        line->setText(QString::fromLatin1(rareWord)); // as the last keystroke would
        settle();
        const qint64 oursNs = timer.nsecsElapsed();
        if (peakRun)
            timing.addedMb = (statusKilobytes("VmHWM:") - before) / 1024.0;
        timing.found = results->model()->rowCount();
        timer.start();
        timing.floorFound = floorSearch(root);
        const qint64 floorNs = timer.nsecsElapsed();
        if (run > 0) {
            ours.append(oursNs);
            floor.append(floorNs);
            busiest.append(busy.longestMs());
        }
        line->setText(QStringLiteral("zzzz"));
        settle();
    }
    const auto median = [](auto values) {
        std::sort(values.begin(), values.end());
        return values.isEmpty() ? 0.0 : double(values.at(values.size() / 2));
    };
    timing.oursMs = median(ours) / 1e6;
    timing.floorMs = median(floor) / 1e6;
    timing.busyMs = median(busiest);
    expect(timing.found == timing.floorFound, "the Find window lists what the floor finds");
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
    const int small = smoke ? 200 : 10000;
    const int large = smoke ? 2000 : 100000;
    std::fprintf(stderr, "bench: building the Find window's libraries\n");
    QDir().mkpath(QFileInfo(libraries.root()).absolutePath()); // where a library is moved in
    build(libraries.stored(libraryName(small)), small);
    build(libraries.stored(libraryName(large)), large);

    const Timing a = measure(small, scale, libraries);
    const Timing b = measure(large, scale, libraries);
    libraries.deactivate();

    std::printf("\n| Find window, one word | ours | floor | ratio | target | met |\n"
                "|---|---:|---:|---:|---|---|\n");
    std::printf("| %d snippets of 2 KB, keystroke to filled list (%d found) | %.1f ms | %.1f ms "
                "| %.2f | 100 ms, 2 x floor | %s |\n",
                small, a.found, a.oursMs, a.floorMs, a.oursMs / a.floorMs,
                met(a.oursMs <= 100 && a.oursMs <= 2 * a.floorMs));
    std::printf("| %d snippets of 2 KB, keystroke to filled list (%d found) | %.1f ms | %.1f ms "
                "| %.2f | 1000 ms | %s |\n",
                large, b.found, b.oursMs, b.floorMs, b.oursMs / b.floorMs, met(b.oursMs <= 1000));
    std::printf("| longest GUI-thread stretch while results arrive, up to %d snippets | %.1f ms | - | - "
                "| 16 ms | %s |\n",
                large, std::max(a.busyMs, b.busyMs), met(std::max(a.busyMs, b.busyMs) <= 16));
    std::printf("| peak memory added by the search, %d snippets | %.1f MB | - | - | 30 MB | %s |\n",
                small, a.addedMb, met(a.addedMb <= 30));
}
