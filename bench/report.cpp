#include "bench/report.h"

#include "bench/recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTextStream>

namespace {

const QStringList openCalls = {QStringLiteral("open"), QStringLiteral("openat"),
                               QStringLiteral("openat2"), QStringLiteral("creat")};
const QStringList renameCalls = {QStringLiteral("rename"), QStringLiteral("renameat"),
                                 QStringLiteral("renameat2")};
const QStringList statCalls = {QStringLiteral("stat"), QStringLiteral("lstat"),
                               QStringLiteral("newfstatat"), QStringLiteral("statx"),
                               QStringLiteral("access"), QStringLiteral("faccessat"),
                               QStringLiteral("faccessat2")};

// The settings files, and what QLockFile reads to name the lock's owner.
bool onSettings(const QString &line)
{
    for (const char *marker : {"/.config/", "/etc/xdg", "/proc/sys/kernel/random/boot_id",
                               "machine-id\""}) {
        if (line.contains(QLatin1String(marker)))
            return true;
    }
    return false;
}

void count(Counts &counts, const QString &line)
{
    // "<pid> name(arguments) = result"; resumed halves were counted when they began.
    if (line.contains(QLatin1String("resumed>")))
        return;
    const QString call = line.left(line.indexOf(QLatin1Char('('))).section(QLatin1Char(' '), -1);
    if (renameCalls.contains(call)) {
        if (line.contains(QLatin1String(".conf\"")))
            ++counts.settingsWrites;
    } else if (onSettings(line)) {
        return;
    } else if (openCalls.contains(call)) {
        ++(line.contains(QLatin1String("O_DIRECTORY")) ? counts.dirReads : counts.fileOpens);
    } else if (statCalls.contains(call)) {
        ++counts.stats;
    }
}

CountTable parseTrace(QFile &trace)
{
    CountTable table;
    QString open;
    const QString prefix = Recorder::markerPrefix();
    QTextStream in(&trace);
    QString line;
    while (in.readLineInto(&line)) {
        const qsizetype marker = line.indexOf(prefix);
        if (marker >= 0) {
            const qsizetype start = marker + prefix.size();
            const QString label = line.mid(start, line.indexOf(QLatin1Char('"'), start) - start);
            const qsizetype slash = label.lastIndexOf(QLatin1Char('/'));
            if (label.mid(slash + 1) == QLatin1String("begin")) {
                open = label.left(slash);
                table[open] = Counts();
            } else {
                open.clear();
            }
        } else if (!open.isEmpty()) {
            count(table[open], line);
        }
    }
    return table;
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 1);
}

QString pair(const std::optional<Counts> &ours, const std::optional<Counts> &floor,
             int Counts::*field)
{
    if (!ours)
        return QStringLiteral("-");
    return QString::number((*ours).*field) + QLatin1Char('/')
        + (floor ? QString::number((*floor).*field) : QStringLiteral("-"));
}

QString number(const std::optional<Counts> &counts, int Counts::*field)
{
    return counts ? QString::number((*counts).*field) : QString();
}

} // namespace

std::optional<CountTable> countSystemCalls(const QStringList &arguments, QString *why)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        *why = QStringLiteral("strace is not installed");
        return std::nullopt;
    }
    const QString tracePath = QDir::homePath() + QStringLiteral("/bench-trace.txt");
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // LeakSanitizer stops the process through ptrace, which strace holds.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS"))
                               + QStringLiteral(":detect_leaks=0"));
    }
    process.setProcessEnvironment(environment);
    process.start(strace, QStringList{QStringLiteral("-f"), QStringLiteral("-qq"),
                                      QStringLiteral("-e"), QStringLiteral("trace=%file"),
                                      QStringLiteral("-o"), tracePath,
                                      QCoreApplication::applicationFilePath()}
                              + arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        *why = QStringLiteral("the traced run failed (exit code %1)").arg(process.exitCode());
        return std::nullopt;
    }
    QFile trace(tracePath);
    if (!trace.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no trace was written");
        return std::nullopt;
    }
    CountTable table = parseTrace(trace);
    trace.remove();
    if (table.isEmpty()) {
        *why = QStringLiteral("the trace holds no marked stretches");
        return std::nullopt;
    }
    return table;
}

QString formatTable(const QList<ActionResult> &actions, const QList<PeakResult> &peaks)
{
    QString out;
    QTextStream s(&out);
    s << "| action | ours ms | floor ms | ratio | target | met | design floor ms | ours/design "
         "| dir reads | file opens | stats | settings writes |\n";
    s << "|---|---:|---:|---:|---:|---|---:|---:|---:|---:|---:|---:|\n";
    for (const ActionResult &r : actions) {
        const bool hasFloor = r.info.hasFloor && r.floorMs > 0;
        const double ratio = hasFloor ? r.oursMs / r.floorMs : 0;
        s << "| " << r.info.title << " | " << ms(r.oursMs) << " | "
          << (hasFloor ? ms(r.floorMs) : QStringLiteral("-")) << " | "
          << (hasFloor ? QString::number(ratio, 'f', 2) : QStringLiteral("-")) << " | "
          << (r.info.target > 0 ? QString::number(r.info.target, 'f', 1) : QStringLiteral("-"))
          << " | "
          << (r.info.target > 0 ? (ratio <= r.info.target ? "yes" : "**no**") : "-") << " | "
          << (r.designMs > 0 ? ms(r.designMs) : QStringLiteral("-")) << " | "
          << (r.designMs > 0 ? QString::number(r.oursMs / r.designMs, 'f', 2) : QStringLiteral("-"))
          << " | " << pair(r.ours, r.floor, &Counts::dirReads) << " | "
          << pair(r.ours, r.floor, &Counts::fileOpens) << " | "
          << pair(r.ours, r.floor, &Counts::stats) << " | "
          << pair(r.ours, r.floor, &Counts::settingsWrites) << " |\n";
    }
    s << "\n| peak resident memory | ours MB | floor MB | target MB | met |\n";
    s << "|---|---:|---:|---:|---|\n";
    for (const PeakResult &p : peaks) {
        s << "| " << p.title << " | " << QString::number(p.oursMb, 'f', 1) << " | "
          << (p.floorMb >= 0 ? QString::number(p.floorMb, 'f', 1) : QStringLiteral("-")) << " | "
          << (p.targetMb >= 0 ? QString::number(p.targetMb, 'f', 1) : QStringLiteral("-"))
          << " | " << (p.targetMb >= 0 ? (p.oursMb <= p.targetMb ? "yes" : "**no**") : "-")
          << " |\n";
    }
    return out;
}

QString formatCsv(const QList<ActionResult> &actions, const QList<PeakResult> &peaks)
{
    QString out;
    QTextStream s(&out);
    s << "kind,action,unit,ours,floor,target,met,design_floor,ours_dir_reads,floor_dir_reads,"
         "ours_file_opens,floor_file_opens,ours_stats,floor_stats,"
         "ours_settings_writes,floor_settings_writes\n";
    for (const ActionResult &r : actions) {
        const bool met = r.floorMs > 0 && r.oursMs / r.floorMs <= r.info.target;
        s << "time," << r.info.key << ",ms," << r.oursMs << ','
          << (r.info.hasFloor ? QString::number(r.floorMs) : QString()) << ','
          << (r.info.target > 0 ? QString::number(r.info.target) : QString()) << ','
          << (r.info.target > 0 ? (met ? "yes" : "no") : "") << ','
          << (r.designMs > 0 ? QString::number(r.designMs) : QString());
        for (int Counts::*field : {&Counts::dirReads, &Counts::fileOpens, &Counts::stats,
                                   &Counts::settingsWrites})
            s << ',' << number(r.ours, field) << ',' << number(r.floor, field);
        s << '\n';
    }
    for (const PeakResult &p : peaks) {
        s << "memory," << p.title << ",MB," << p.oursMb << ','
          << (p.floorMb >= 0 ? QString::number(p.floorMb) : QString()) << ','
          << (p.targetMb >= 0 ? QString::number(p.targetMb) : QString()) << ','
          << (p.targetMb >= 0 ? (p.oursMb <= p.targetMb ? "yes" : "no") : "")
          << ",,,,,,,,,\n";
    }
    return out;
}
