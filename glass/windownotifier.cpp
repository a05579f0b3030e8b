#include "glass/windownotifier.h"

#include "glass/composition.h"

#include <QByteArray>

#ifdef Q_OS_WIN
#  include <windows.h>

namespace {
// WM_DWMCOMPOSITIONCHANGED; spelled out because older Windows headers only
// define it for newer WINVER targets.
constexpr unsigned int CompositionChangedMessage = 0x031E;
}
#endif

void WindowNotifier::compositionChanged()
{
    const bool enabled = isCompositionEnabled();
    // setAttribute() can send events synchronously; walk a copy in case a
    // handler registers another widget meanwhile.
    const QList<QPointer<QWidget>> registered = widgets;
    for (const QPointer<QWidget> &widget : registered) {
        if (!widget)
            continue;
        widget->setAttribute(Qt::WA_NoSystemBackground, enabled);
        widget->update();
    }
}

bool WindowNotifier::nativeEvent(const QByteArray &eventType, void *message, qintptr *result)
{
#ifdef Q_OS_WIN
    const auto *msg = static_cast<const MSG *>(message);
    if (msg && eventType == "windows_generic_MSG" && msg->message == CompositionChangedMessage)
        compositionChanged();
#endif
    // Never handled here: the message goes on as if the notifier were not there.
    return QWidget::nativeEvent(eventType, message, result);
}
