// Times every user action against its floor: the directory and file reads it
// cannot avoid, done once with plain Qt calls, plus the unavoidable widget
// work. Runs headless in a temporary home; never touches the user's files.
//
//   quillory_bench [--runs N] [--csv FILE] [--no-counts] [--smoke]

#include "app/startup.h"
#include "bench/actions.h"
#include "bench/findbench.h"
#include "bench/recorder.h"
#include "bench/report.h"
#include "bench/synthlibrary.h"
#include "tests/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <optional>

using namespace SynthLibrary;

namespace {

struct Options
{
    bool smoke = false;
    bool counts = true;
    int runs = 0; // 0: the scale's own
    QString csvPath;
    QString childPeak; // a PeakCase name: measure it in this process and exit
    bool childCount = false; // run once, marked for strace
};

Options parse(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--smoke")
            options.smoke = true;
        else if (arg == "--no-counts")
            options.counts = false;
        else if (arg == "--runs" && hasValue)
            options.runs = QByteArray(argv[++i]).toInt();
        else if (arg == "--csv" && hasValue)
            options.csvPath = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--child-peak" && hasValue)
            options.childPeak = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--child-count")
            options.childCount = true;
        else
            std::fprintf(stderr, "bench: ignoring unknown argument %s\n", argv[i]);
    }
    return options;
}

QStringList scaleArguments(const Options &options)
{
    return options.smoke ? QStringList{QStringLiteral("--smoke")} : QStringList();
}

const QList<PeakCase> peakCases = {PeakCase::BareWindow, PeakCase::LargeLibrary,
                                   PeakCase::LargeLibraryFloor, PeakCase::LargestText,
                                   PeakCase::LargestTextFloor};

// Each case in a process of its own, so one case's peak cannot hide another's.
double childPeakMb(PeakCase peakCase, const Options &options)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--child-peak"), peakCaseName(peakCase)}
                    + scaleArguments(options));
    const bool finished = child.waitForFinished(-1) && child.exitCode() == 0;
    const QByteArray output = child.readAllStandardOutput().trimmed();
    expect(finished && output.startsWith("peak-kb "), "a peak memory child reports its peak");
    return output.mid(8).toLong() / 1024.0;
}

QList<PeakResult> measurePeaks(const Scale &scale, const Options &options)
{
    QHash<PeakCase, double> mb;
    for (const PeakCase peakCase : peakCases)
        mb[peakCase] = childPeakMb(peakCase, options);
    const double bare = mb[PeakCase::BareWindow];
    const double largest = scale.textSizes.last() / (1024.0 * 1024.0);
    const double snippet = scale.large.snippetBytes / (1024.0 * 1024.0);
    return {
        {QStringLiteral("bare window"), bare, -1, -1},
        {QStringLiteral("large library"), mb[PeakCase::LargeLibrary],
         mb[PeakCase::LargeLibraryFloor], bare + 3 * snippet},
        {sizeLabel(scale.textSizes.last()) + QStringLiteral(" snippet"),
         mb[PeakCase::LargestText], mb[PeakCase::LargestTextFloor], bare + 3 * largest},
    };
}

QList<ActionResult> results(const Scale &scale, const Recorder &recorder,
                            const std::optional<CountTable> &counts)
{
    QList<ActionResult> list;
    for (const ActionInfo &info : actionList(scale)) {
        ActionResult result{info, median(recorder.samples(info.key, Side::Ours)) / 1e6,
                            median(recorder.samples(info.key, Side::Floor)) / 1e6,
                            median(recorder.samples(info.key, Side::Design)) / 1e6,
                            std::nullopt, std::nullopt};
        if (counts) {
            const QString ours = info.key + QStringLiteral("/ours");
            const QString floor = info.key + QStringLiteral("/floor");
            if (counts->contains(ours))
                result.ours = counts->value(ours);
            if (counts->contains(floor))
                result.floor = counts->value(floor);
        }
        list.append(result);
    }
    return list;
}

int runChild(const Options &options, const Scale &scale, int argc, char *argv[])
{
    QApplication app(argc, argv);
    setApplicationIdentity();
    Libraries libraries(QDir::homePath());
    if (options.childCount) {
        Recorder recorder(Recorder::Mode::Mark);
        runActions(scale, libraries, recorder, 1);
    } else {
        for (const PeakCase peakCase : peakCases) {
            if (peakCaseName(peakCase) == options.childPeak)
                std::printf("peak-kb %ld\n", peakKilobytes(peakCase, scale, libraries));
        }
    }
    return allChecksPassed() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Headless always: the numbers must not depend on a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Options options = parse(argc, argv);
    Scale scale = options.smoke ? Scale::smoke() : Scale::full();
    if (options.runs > 0)
        scale.runs = options.runs;

    // Children share the parent's temporary home and libraries.
    if (options.childCount || !options.childPeak.isEmpty())
        return runChild(options, scale, argc, argv);

    TestSupport::IsolatedHome home;
    QApplication app(argc, argv);
    setApplicationIdentity();
    Libraries libraries(home.path());
    std::fprintf(stderr, "bench: building the libraries in %s\n", qPrintable(home.path()));
    libraries.build(scale);

    std::fprintf(stderr, "bench: timing, %d runs after a warm-up\n", scale.runs);
    Recorder recorder(Recorder::Mode::Time);
    runActions(scale, libraries, recorder, scale.runs);

    std::fprintf(stderr, "bench: measuring peak memory\n");
    const QList<PeakResult> peaks = measurePeaks(scale, options);

    std::optional<CountTable> counts;
    if (options.counts) {
        std::fprintf(stderr, "bench: counting system calls\n");
        QString why;
        counts = countSystemCalls(QStringList{QStringLiteral("--child-count")}
                                      + scaleArguments(options),
                                  &why);
        if (!counts)
            std::fprintf(stderr, "bench: no counts: %s\n", qPrintable(why));
    }

    const QList<ActionResult> actions = results(scale, recorder, counts);
    const QString csv = formatCsv(actions, peaks);
    std::printf("%s\n%s", qPrintable(formatTable(actions, peaks)), qPrintable(csv));
    if (!options.csvPath.isEmpty()) {
        QFile file(options.csvPath);
        if (file.open(QIODevice::WriteOnly))
            file.write(csv.toUtf8());
    }
    runFindBench(scale, libraries);
    return allChecksPassed() ? 0 : 1;
}
