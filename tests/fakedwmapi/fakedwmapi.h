#pragma once

#include <cstdint>

// What the fake composition service answers and what it was given. The tests
// reach it through the exported fakeDwmState() of the very copy of the library
// that the glass helper loaded.
struct FakeDwmState
{
    // Answers
    int compositionEnabled = 1;
    std::int32_t isEnabledResult = 0;
    std::int32_t extendResult = 0;

    // Records
    int isEnabledCalls = 0;
    int enabledOnEntry = -1;
    int extendCalls = 0;
    void *lastWindow = nullptr;
    std::int32_t lastMargins[4] = {};
};

using FakeDwmStateFunction = FakeDwmState *(*)();
