#include "bench/findbench.h"

#include "bench/bench.h"
#include "bench/synthlibrary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>

using namespace SynthLibrary;

namespace {

// The terminal tool reads each file as grep does, plus its decoding.
constexpr double target = 1.1;
constexpr int utf16Snippets = 20;

// Snippets grep cannot read: UTF-16 with a byte-order mark, as older editors
// on Windows save them, each holding the word.
QString addUtf16Snippets(const QString &root, const QString &word)
{
    const QString folder = root + QLatin1Char('/') + languageName(1) + QStringLiteral("/utf16");
    QDir().mkpath(folder);
    for (int i = 0; i < utf16Snippets; ++i) {
        const QString text = QStringLiteral("Wide snippet %1\nconst auto key = \"%2\";\n")
                                 .arg(i)
                                 .arg(word);
        QFile file(folder + QLatin1Char('/') + snippetName(i) + QStringLiteral(".spt"));
        expect(file.open(QIODevice::WriteOnly)
                   && file.write(QByteArray("\xFF\xFE", 2)
                                 + QByteArray(reinterpret_cast<const char *>(text.utf16()),
                                              text.size() * 2))
                       > 0,
               "the UTF-16 snippets are written");
    }
    return folder;
}

// Runs a program to its end; its output, or nothing when it is thrown away.
QByteArray run(const QString &program, const QStringList &arguments, bool keepOutput,
               qint64 *nanoseconds = nullptr)
{
    QProcess process;
    if (!keepOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(-1);
    if (nanoseconds)
        *nanoseconds = timer.nsecsElapsed();
    expect(finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
           "find and grep both find the word");
    return keepOutput ? process.readAllStandardOutput() : QByteArray();
}

double median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n ? (values.at((n - 1) / 2) + values.at(n / 2)) / 2.0 : 0;
}

QSet<QString> lines(const QByteArray &output)
{
    QSet<QString> set;
    for (const QByteArray &line : output.split('\n')) {
        if (!line.isEmpty())
            set.insert(QString::fromUtf8(line));
    }
    return set;
}

} // namespace

namespace {

// Patterns whose first hit spans many lines: each rejected hit used to be
// searched for again from the next line, in quadratic time.
void runSpanningPatterns(const Scale &scale, const QString &grep, const QString &root)
{
    const QString folder = root + QStringLiteral("/L/C");
    QDir().mkpath(folder);
    const bool smoke = scale.large.snippets < 1000;
    const struct
    {
        const char *pattern;
        const char *name;
        QByteArray text;
    } cases[] = {
        {"\\s+$", "blank", "syn\n" + QByteArray("   \n").repeated(smoke ? 3000 : 30000)},
        {"^\\s*}", "brace", "syn\n" + QByteArray("\n").repeated(smoke ? 10000 : 100000) + "}\n"},
    };
    std::printf("\n| find, hits spanning lines | ours ms | grep -E ms | ratio | target | met |\n"
                "|---|---:|---:|---:|---:|---|\n");
    for (const auto &c : cases) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile file(folder + QLatin1Char('/') + QLatin1String(c.name) + QStringLiteral(".spt"));
        expect(file.open(QIODevice::WriteOnly) && file.write(c.text) == c.text.size(),
               "the spanning snippet is written");
        file.close();
        const QString pattern = QLatin1String(c.pattern);
        const QStringList ours = {QStringLiteral("find"), pattern, QStringLiteral("--library"), root};
        const QStringList theirs = {QStringLiteral("-r"), QStringLiteral("-E"), pattern, folder};
        QList<qint64> oursNs, grepNs;
        for (int i = 0; i < std::max(scale.runs, 3); ++i) {
            qint64 ns = 0;
            run(QStringLiteral(QUILLORY_CLI), ours, false, &ns);
            oursNs.append(ns);
            run(grep, theirs, false, &ns);
            grepNs.append(ns);
        }
        const double oursMs = median(oursNs) / 1e6;
        const double grepMs = median(grepNs) / 1e6;
        // Linear is the point: a process start dominates both sides.
        constexpr double linearTarget = 10;
        std::printf("| `%s` over %lld KB of short lines | %.1f | %.1f | %.2f | %.0f | %s |\n",
                    c.pattern, qint64(c.text.size() / 1024), oursMs, grepMs, oursMs / grepMs,
                    linearTarget, oursMs / grepMs <= linearTarget ? "yes" : "**no**");
    }
    QDir(root).removeRecursively();
}

} // namespace

void runFindBench(const Scale &scale, Libraries &libraries)
{
    const QString grep = QStandardPaths::findExecutable(QStringLiteral("grep"));
    if (grep.isEmpty()) {
        std::printf("\nfind vs grep: no grep on PATH, not measured\n");
        return;
    }
    libraries.activate(QStringLiteral("large"));
    const QString root = libraries.root();
    // One snippet's name: in its synopsis and nowhere else in the library.
    const QString word = snippetName(scale.large.snippets / 2);
    const QString wide = addUtf16Snippets(root, word);

    const QString cli = QStringLiteral(QUILLORY_CLI);
    const QStringList ours = {QStringLiteral("find"), QStringLiteral("-F"), word,
                              QStringLiteral("--library"), root};
    const QStringList theirs = {QStringLiteral("-r"), QStringLiteral("-F"), word, root};

    // Warm the cache, then alternate so that both see the same conditions.
    run(cli, ours, false);
    run(grep, theirs, false);
    QList<qint64> oursNs, grepNs;
    for (int i = 0; i < std::max(scale.runs, 3); ++i) {
        qint64 ns = 0;
        run(cli, ours, false, &ns);
        oursNs.append(ns);
        run(grep, theirs, false, &ns);
        grepNs.append(ns);
    }

    const QSet<QString> ourFiles =
        lines(run(cli, QStringList{QStringLiteral("-l")} + ours, true));
    QSet<QString> grepFiles;
    for (QString path : lines(run(grep, QStringList{QStringLiteral("-l")} + theirs, true))) {
        path.remove(0, root.size() + 1).chop(4);
        grepFiles.insert(path);
    }
    const QSet<QString> onlyOurs = ourFiles - grepFiles;
    const QSet<QString> onlyGrep = grepFiles - ourFiles;
    const qsizetype missedWide = std::count_if(onlyOurs.begin(), onlyOurs.end(), [](const QString &f) {
        return f.startsWith(languageName(1) + QStringLiteral("/utf16/"));
    });
    const bool sameOtherwise = onlyGrep.isEmpty() && missedWide == onlyOurs.size();
    expect(sameOtherwise && missedWide == utf16Snippets,
           "find and grep match the same files but for the UTF-16 snippets");
    QDir(wide).removeRecursively();

    const double oursMs = median(oursNs) / 1e6;
    const double grepMs = median(grepNs) / 1e6;
    const double ratio = oursMs / grepMs;
    std::printf("\n| find vs grep | ours ms | grep ms | ratio | target | met | matching files |\n"
                "|---|---:|---:|---:|---:|---|---|\n"
                "| find -F %s, large library | %.1f | %.1f | %.2f | %.1f | %s | "
                "%s; grep misses %lld UTF-16 snippets |\n",
                qPrintable(word), oursMs, grepMs, ratio, target, ratio <= target ? "yes" : "**no**",
                sameOtherwise ? "same otherwise" : "**differ**", qint64(missedWide));
    runSpanningPatterns(scale, grep, libraries.stored(QStringLiteral("spanning")));
}
