#pragma once

#include "bench/actions.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// System calls of one measured stretch. Calls on the settings folder are left
// out of the first three columns; settings writes count the settings file's
// atomic replacements.
struct Counts
{
    int dirReads = 0;
    int fileOpens = 0;
    int stats = 0;
    int settingsWrites = 0;
};

// Keyed "action/ours" and "action/floor".
using CountTable = QHash<QString, Counts>;

// Runs this program with `arguments` under strace and counts per marked
// stretch; nothing when strace is missing or not permitted here.
std::optional<CountTable> countSystemCalls(const QStringList &arguments, QString *why);

struct ActionResult
{
    ActionInfo info;
    double oursMs;
    double floorMs;
    double designMs; // 0 when the action has no design floor
    std::optional<Counts> ours;
    std::optional<Counts> floor;
};

struct PeakResult
{
    QString title;
    double oursMb;
    double floorMb; // negative when there is none
    double targetMb; // negative when there is none
};

QString formatTable(const QList<ActionResult> &actions, const QList<PeakResult> &peaks);
QString formatCsv(const QList<ActionResult> &actions, const QList<PeakResult> &peaks);
