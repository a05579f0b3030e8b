#pragma once

namespace SynthLibrary {
struct Scale;
class Libraries;
} // namespace SynthLibrary

// The Find window and the live library on libraries of 1,000, 10,000 and
// 100,000 snippets: from the last keystroke to the full list against the same
// word sought in the same text held in memory (and rg, where installed); the
// first row; the longest the GUI thread is held meanwhile; memory; the
// picture's build and how soon it sees an outside change. Prints two tables.
void runFindWindowBench(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries);
