#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

// A hidden top-level window that hears when desktop composition is switched
// on or off and refreshes the widgets that were given the glass frame.
class WindowNotifier : public QWidget
{
public:
    // Registered widgets, once per successful frame extension. Guarded, so
    // that a widget destroyed since then is skipped instead of touched.
    QList<QPointer<QWidget>> widgets;

    void compositionChanged();

protected:
    bool nativeEvent(const QByteArray &eventType, void *message, qintptr *result) override;
};
