#pragma once

#include "bench/synthlibrary.h"

#include <QList>
#include <QString>

class Recorder;

struct ActionInfo
{
    QString key;
    QString title;
    double target; // highest acceptable ours/floor ratio; 0 for none
    bool hasFloor;
};

QList<ActionInfo> actionList(const SynthLibrary::Scale &scale);

// Every action once unrecorded, to warm caches and create the folders the
// first listings make, then `runs` recorded times, each paired with its floor.
void runActions(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries,
                Recorder &recorder, int runs);

// Peak memory is per process, so each of these runs in a child of its own.
enum class PeakCase { BareWindow, LargeLibrary, LargeLibraryFloor, LargestText, LargestTextFloor };

QString peakCaseName(PeakCase peakCase);
// Builds the case's state and answers the process's peak resident size in KB.
long peakKilobytes(PeakCase peakCase, const SynthLibrary::Scale &scale,
                   SynthLibrary::Libraries &libraries);
