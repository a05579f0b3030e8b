#pragma once

namespace SynthLibrary {
struct Scale;
class Libraries;
} // namespace SynthLibrary

// quillory-cli find -F against grep -r -F of the same word over the large
// library, warm cache, both as processes in the same run; prints a table of
// one row with both times and how the sets of matching files compare.
void runFindBench(const SynthLibrary::Scale &scale, SynthLibrary::Libraries &libraries);
