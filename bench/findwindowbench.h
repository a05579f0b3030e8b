#pragma once

namespace SynthLibrary {
struct Scale;
class Libraries;
} // namespace SynthLibrary

// The Find window on libraries of 10,000 and 100,000 snippets: from the last
// keystroke to the filled list against a plain read-and-match of the same
// files, the longest the GUI thread is busy meanwhile, and the memory the
// search adds. Prints one table.
void runFindWindowBench(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries);
