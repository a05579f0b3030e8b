#pragma once

#include "bench/bench.h"
#include "bench/synthlibrary.h"

// Loading, switching, typing and starting up on C++ snippets, each beside
// the same work without a highlighter.
Section highlightActions(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries,
                         Recorder &recorder);
