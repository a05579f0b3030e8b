#include "fakedwmapi.h"

#define FAKEDWMAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
FakeDwmState state;
}

FAKEDWMAPI_EXPORT FakeDwmState *fakeDwmState()
{
    return &state;
}

// Writes its answer even when it reports a failure, so that a caller who
// ignores the result code is caught.
FAKEDWMAPI_EXPORT std::int32_t DwmIsCompositionEnabled(int *enabled)
{
    ++state.isEnabledCalls;
    state.enabledOnEntry = *enabled;
    *enabled = state.compositionEnabled;
    return state.isEnabledResult;
}

#ifndef FAKEDWMAPI_WITHOUT_EXTEND
FAKEDWMAPI_EXPORT std::int32_t DwmExtendFrameIntoClientArea(void *window, const std::int32_t *margins)
{
    ++state.extendCalls;
    state.lastWindow = window;
    for (int i = 0; i < 4; ++i)
        state.lastMargins[i] = margins[i];
    return state.extendResult;
}
#endif
