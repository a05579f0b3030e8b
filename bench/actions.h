#pragma once

#include "bench/bench.h"
#include "bench/synthlibrary.h"

// Every user action on the window, each against its floor.
Section userActions(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries,
                    Recorder &recorder);

// Runs one side of one action ("startup-large/ours") once and answers the
// process's peak resident size in KB. Peaks are per process, so each case
// runs in a child of its own.
long peakKilobytes(const QString &actionSide, const SynthLibrary::Scale &scale,
                   SynthLibrary::Libraries &libraries);
