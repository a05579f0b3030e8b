#include "glass/composition.h"

#include "glass/windownotifier.h"

#include <QLibrary>
#include <QWidget>

#ifdef Q_OS_WIN
#  include <windows.h>
#  include <dwmapi.h>
#else
#  include <cstdint>
// Elsewhere nothing normally provides "dwmapi", but the lookup is the same,
// so the service's types are spelled out here with the same layout.
using HRESULT = std::int32_t;
using BOOL = int;
using HWND = void *;
struct MARGINS
{
    std::int32_t cxLeftWidth;
    std::int32_t cxRightWidth;
    std::int32_t cyTopHeight;
    std::int32_t cyBottomHeight;
};
#  define WINAPI
#endif

namespace {

using IsCompositionEnabledFunction = HRESULT(WINAPI *)(BOOL *);
using ExtendFrameFunction = HRESULT(WINAPI *)(HWND, const MARGINS *);

IsCompositionEnabledFunction dwmIsCompositionEnabled = nullptr;
ExtendFrameFunction dwmExtendFrameIntoClientArea = nullptr;
WindowNotifier *notifier = nullptr;

bool succeeded(HRESULT result)
{
    return result >= 0;
}

} // namespace

bool resolveDwmLibrary()
{
    if (dwmIsCompositionEnabled)
        return true;

    // Destroying a QLibrary leaves the library loaded, so the addresses stay
    // valid for the life of the process. Never call unload() here.
    QLibrary dwmapi(QStringLiteral("dwmapi"));
    dwmIsCompositionEnabled =
        reinterpret_cast<IsCompositionEnabledFunction>(dwmapi.resolve("DwmIsCompositionEnabled"));
    dwmExtendFrameIntoClientArea =
        reinterpret_cast<ExtendFrameFunction>(dwmapi.resolve("DwmExtendFrameIntoClientArea"));
    return dwmIsCompositionEnabled != nullptr;
}

bool isCompositionEnabled()
{
    if (!resolveDwmLibrary())
        return false;
    BOOL enabled = 0;
    return succeeded(dwmIsCompositionEnabled(&enabled)) && enabled != 0;
}

bool extendFrameIntoClientArea(QWidget *widget, int left, int right, int top, int bottom)
{
    // A service without the frame call counts as no service at all.
    if (!resolveDwmLibrary() || !dwmExtendFrameIntoClientArea)
        return false;

    const MARGINS margins = {left, right, top, bottom};
    const HWND window = reinterpret_cast<HWND>(widget->winId());
    const bool extended = succeeded(dwmExtendFrameIntoClientArea(window, &margins));
    if (extended)
        windowNotifier()->widgets.append(widget);
    // Cleared on failure too, or a widget would stay see-through without glass behind it.
    widget->setAttribute(Qt::WA_TranslucentBackground, extended);
    return extended;
}

WindowNotifier *windowNotifier()
{
    if (!notifier) {
        notifier = new WindowNotifier;
        // The composition message only reaches top-level native windows, so
        // create one now; it is never shown.
        notifier->winId();
    }
    return notifier;
}
