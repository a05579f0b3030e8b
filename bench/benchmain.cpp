// Times every user action against its floor, both measured in the same run,
// and prints each ratio against the action's target. Runs headless in a
// temporary home; never touches the user's files.
//
//   quillory_bench [--runs N] [--peaks] [--smoke]
//
// --peaks adds the peak resident memory of the window on the large library
// and on the largest text; bench/count-syscalls.sh adds system-call counts.

#include "app/startup.h"
#include "bench/actions.h"
#include "bench/bench.h"
#include "bench/synthlibrary.h"
#include "tests/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

using namespace SynthLibrary;

namespace {

bool checksPassed = true;

struct Options
{
    bool smoke = false;
    bool peaks = false;
    bool marks = false; // for bench/count-syscalls.sh: one recorded run, marked
    int runs = 0; // 0: the scale's own
    QString peakCase; // a child measuring one side of one action
};

Options parse(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--smoke")
            options.smoke = true;
        else if (arg == "--peaks")
            options.peaks = true;
        else if (arg == "--marks")
            options.marks = true;
        else if (arg == "--runs" && i + 1 < argc)
            options.runs = QByteArray(argv[++i]).toInt();
        else if (arg == "--peak" && i + 1 < argc)
            options.peakCase = QString::fromLocal8Bit(argv[++i]);
        else
            std::fprintf(stderr, "bench: ignoring unknown argument %s\n", argv[i]);
    }
    return options;
}

QString ms(double value)
{
    return value > 0 ? QString::number(value, 'f', value < 10 ? 2 : 1) : QStringLiteral("-");
}

QString ratio(double ours, double floor)
{
    return ours > 0 && floor > 0 ? QString::number(ours / floor, 'f', 2) : QStringLiteral("-");
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
        s << "| " << row.title << " | " << ms(ours) << " | " << ms(floor) << " | "
          << ratio(ours, floor) << " | "
          << (judged ? QString::number(row.target, 'f', 1) : QStringLiteral("-")) << " | "
          << (judged ? (ours / floor <= row.target ? "yes" : "**no**") : "-") << " | "
          << ms(design) << " | " << ratio(ours, design) << " |\n";
    }
    return out;
}

// Each case in a process of its own, so that one case's peak cannot hide
// another's; the children share this process's home and libraries.
double childPeakMb(const QString &actionSide, const Options &options)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--peak"), actionSide}
                    + (options.smoke ? QStringList{QStringLiteral("--smoke")} : QStringList()));
    const bool finished = child.waitForFinished(-1) && child.exitCode() == 0;
    const QByteArray output = child.readAllStandardOutput().trimmed();
    expect(finished && output.startsWith("peak-kb "), "a peak memory child reports its peak");
    return output.mid(8).toLong() / 1024.0;
}

// The window on the large library and on the largest text against their
// floors, filled by plain reads. Target: the bare window plus three times the
// size of the text loaded.
QString peakTable(const Scale &scale, const Options &options)
{
    const double bare = childPeakMb(QStringLiteral("startup-small/floor"), options);
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
      << "| bare window | " << QString::number(bare, 'f', 1) << " | - | - | - |\n";
    for (const auto &row : rows) {
        const double ours = childPeakMb(row.ours, options);
        const double target = bare + 3.0 * double(row.loaded) / (1024 * 1024);
        s << "| " << row.title << " | " << QString::number(ours, 'f', 1) << " | "
          << QString::number(childPeakMb(row.floor, options), 'f', 1) << " | "
          << QString::number(target, 'f', 1) << " | " << (ours <= target ? "yes" : "**no**")
          << " |\n";
    }
    return out;
}

} // namespace

QString sampleKey(const QString &key, Side side)
{
    static const char *const sides[] = {"/ours", "/floor", "/design"};
    return key + QLatin1String(sides[int(side)]);
}

void Recorder::start(const QString &key, Side side)
{
    m_key = sampleKey(key, side);
    mark("begin");
    m_timer.start();
}

void Recorder::stop()
{
    const qint64 elapsed = m_timer.nsecsElapsed();
    mark("end");
    if (m_recording)
        m_samples[m_key].append(elapsed);
}

double Recorder::medianMs(const QString &key, Side side) const
{
    QList<qint64> values = m_samples.value(sampleKey(key, side));
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return (values.at((n - 1) / 2) + values.at(n / 2)) / 2e6;
}

void Recorder::mark(const char *end) const
{
    if (!m_marks || !m_recording)
        return;
    // A path that cannot exist: the call fails at once and shows in the trace.
    const QByteArray path = "/quillory-bench-mark/" + m_key.toUtf8() + '/' + end;
    (void)::access(path.constData(), F_OK);
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

int main(int argc, char *argv[])
{
    // Headless always: the numbers must not depend on a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Options options = parse(argc, argv);
    Scale scale = options.smoke ? Scale::smoke() : Scale::full();
    if (options.marks)
        scale.runs = 1;
    else if (options.runs > 0)
        scale.runs = options.runs;

    if (!options.peakCase.isEmpty()) {
        QApplication app(argc, argv);
        setApplicationIdentity();
        Libraries libraries(QDir::homePath());
        std::printf("peak-kb %ld\n", peakKilobytes(options.peakCase, scale, libraries));
        return allChecksPassed() ? 0 : 1;
    }

    TestSupport::IsolatedHome home;
    QApplication app(argc, argv);
    setApplicationIdentity();
    Libraries libraries(home.path());
    std::fprintf(stderr, "bench: building the libraries in %s\n", qPrintable(home.path()));
    libraries.build(scale);

    Recorder recorder(options.marks);
    const QList<Section> sections = {
        userActions(scale, libraries, recorder),
        // Further sections: one entry each.
    };
    std::fprintf(stderr, "bench: timing, %d runs after a warm-up\n", scale.runs);
    for (int run = 0; run <= scale.runs; ++run) {
        recorder.setRecording(run > 0);
        for (const Section &section : sections)
            section.run(run);
    }

    QList<Row> rows;
    for (const Section &section : sections)
        rows += section.rows;
    std::printf("%s", qPrintable(table(rows, recorder)));
    if (options.peaks) {
        std::fprintf(stderr, "bench: measuring peak memory\n");
        std::printf("\n%s", qPrintable(peakTable(scale, options)));
    }
    return allChecksPassed() ? 0 : 1;
}
