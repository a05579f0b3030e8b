// Times every user action against its floor, both measured in the same run,
// and prints each ratio against the action's target. Runs headless in a
// temporary home; never touches the user's files.
//
//   quillory_bench [--runs N] [--peaks] [--smoke] [--find-window | --find-cli]
//
// --find-window runs only the Find window's table, --find-cli only the
// terminal tool's. --peaks adds the peak
// resident memory of the window on the large library and on the largest
// text; bench/count-syscalls.sh adds system-call counts (it runs the
// benchmark with --marks). --peak KEY/SIDE is for the children
// that --peaks starts.

#include "app/startup.h"
#include "bench/actions.h"
#include "bench/bench.h"
#include "bench/findbench.h"
#include "bench/findwindowbench.h"
#include "bench/highlightbench.h"
#include "bench/synthlibrary.h"
#include "tests/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

using namespace SynthLibrary;

namespace {

QString number(double value, int decimals)
{
    return value > 0 ? QString::number(value, 'f', decimals) : QStringLiteral("-");
}

QString table(const QList<Row> &rows, const Recorder &recorder)
{
    QString out;
    QTextStream s(&out);
    s << "| action | ours ms | floor ms | ratio | target | met | design floor ms | ours/design |\n"
         "|---|---:|---:|---:|---:|---|---:|---:|\n";
    for (const Row &row : rows) {
        const double ours = recorder.medianMs(row.key, Side::Ours);
        const double floor = recorder.medianMs(row.key, Side::Floor);
        const double design = recorder.medianMs(row.key, Side::Design);
        const bool judged = row.target > 0 && floor > 0;
        s << "| " << row.title << " | " << number(ours, ours < 10 ? 2 : 1) << " | "
          << number(floor, floor < 10 ? 2 : 1) << " | " << number(floor ? ours / floor : 0, 2)
          << " | " << number(judged ? row.target : 0, 1) << " | "
          << (judged ? (ours / floor <= row.target ? "yes" : "**no**") : "-") << " | "
          << number(design, design < 10 ? 2 : 1) << " | "
          << number(design ? ours / design : 0, 2) << " |\n";
    }
    return out;
}

// Each case in a process of its own, so that one case's peak cannot hide
// another's; the children share this process's home and libraries.
double peakMb(const QString &actionSide, bool smoke)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--peak"), actionSide};
    if (smoke)
        arguments.append(QStringLiteral("--smoke"));
    child.start(QCoreApplication::applicationFilePath(), arguments);
    const bool finished = child.waitForFinished(-1) && child.exitCode() == 0;
    const QByteArray output = child.readAllStandardOutput().trimmed();
    expect(finished && output.startsWith("peak-kb "), "a peak memory child reports its peak");
    return output.mid(8).toLong() / 1024.0;
}

// The window on the large library and on the largest text, against a bare
// window filled by plain reads. Target: the bare window plus three times the
// size of the text loaded.
QString peakTable(const Scale &scale, bool smoke)
{
    const double bare = peakMb(QStringLiteral("startup-small/floor"), smoke);
    const QString largest = sizeName(scale.textSizes.last());
    const struct
    {
        QString title, ours, floor;
        qsizetype loaded;
    } rows[] = {{QStringLiteral("large library"), QStringLiteral("startup-large/ours"),
                 QStringLiteral("startup-large/design"), scale.large.snippetBytes},
                {sizeLabel(scale.textSizes.last()) + QStringLiteral(" snippet"),
                 QStringLiteral("load-%1/ours").arg(largest),
                 QStringLiteral("load-%1/floor").arg(largest), scale.textSizes.last()}};
    QString out;
    QTextStream s(&out);
    s << "| peak resident memory | ours MB | floor MB | target MB | met |\n|---|---:|---:|---:|---|\n"
      << "| bare window | " << number(bare, 1) << " | - | - | - |\n";
    for (const auto &row : rows) {
        const double ours = peakMb(row.ours, smoke);
        const double target = bare + 3.0 * double(row.loaded) / (1024 * 1024);
        s << "| " << row.title << " | " << number(ours, 1) << " | "
          << number(peakMb(row.floor, smoke), 1) << " | " << number(target, 1) << " | "
          << (ours <= target ? "yes" : "**no**") << " |\n";
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    // Headless always: the numbers must not depend on a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QByteArrayList args;
    for (int i = 1; i < argc; ++i)
        args.append(argv[i]);
    const auto valueOf = [&args](const char *option) {
        const qsizetype at = args.indexOf(option);
        return at >= 0 ? args.value(at + 1) : QByteArray();
    };
    const bool smoke = args.contains("--smoke");
    const bool marks = args.contains("--marks"); // one recorded run, marked
    Scale scale = smoke ? Scale::smoke() : Scale::full();
    scale.runs = marks ? 1 : valueOf("--runs").toInt() > 0 ? valueOf("--runs").toInt() : scale.runs;

    if (const QString actionSide = QString::fromLocal8Bit(valueOf("--peak")); !actionSide.isEmpty()) {
        QApplication app(argc, argv);
        setApplicationIdentity();
        Libraries libraries(QDir::homePath());
        std::printf("peak-kb %ld\n", peakKilobytes(actionSide, scale, libraries));
        return checksPassed ? 0 : 1;
    }

    TestSupport::IsolatedHome home;
    QApplication app(argc, argv);
    setApplicationIdentity();
    Libraries libraries(home.path());
    if (args.contains("--find-window")) {
        runFindWindowBench(scale, libraries);
        return checksPassed ? 0 : 1;
    }
    std::fprintf(stderr, "bench: building the libraries in %s\n", qPrintable(home.path()));
    libraries.build(scale);
    if (args.contains("--find-cli")) {
        runFindBench(scale, libraries);
        return checksPassed ? 0 : 1;
    }

    Recorder recorder(marks);
    const QList<Section> sections = {
        userActions(scale, libraries, recorder),
        highlightActions(scale, libraries, recorder),
        // Further sections: one entry each.
    };
    std::fprintf(stderr, "bench: timing, %d runs after a warm-up\n", scale.runs);
    QList<Row> rows;
    for (const Section &section : sections)
        rows += section.rows;
    for (int run = 0; run <= scale.runs; ++run) {
        recorder.setRecording(run > 0);
        for (const Section &section : sections)
            section.run(run);
    }
    std::printf("%s", qPrintable(table(rows, recorder)));
    if (args.contains("--peaks")) {
        std::fprintf(stderr, "bench: measuring peak memory\n");
        std::printf("\n%s", qPrintable(peakTable(scale, smoke)));
    }
    runFindBench(scale, libraries);
    runFindWindowBench(scale, libraries);
    return checksPassed ? 0 : 1;
}
