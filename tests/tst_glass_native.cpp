#include "glass/composition.h"
#include "glass/windownotifier.h"

#include <QTest>
#include <QWidget>

#include <windows.h>
#include <dwmapi.h>

// The glass helper against the system's own "dwmapi", through the windows
// platform, so that every widget has a real native window.
class TestGlassNative : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void serviceAnswersAsWhenAskedDirectly();
    void frameExtendedOverTheWholeWindow();
    void compositionMessageReachesTheNotifier_data();
    void compositionMessageReachesTheNotifier();
};

void TestGlassNative::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        QSKIP("needs the windows platform (QT_QPA_PLATFORM=windows) for native windows");
}

void TestGlassNative::serviceAnswersAsWhenAskedDirectly()
{
    QVERIFY(resolveDwmLibrary());
    BOOL enabled = FALSE;
    QCOMPARE(DwmIsCompositionEnabled(&enabled), S_OK);
    QCOMPARE(isCompositionEnabled(), enabled != FALSE);
}

void TestGlassNative::frameExtendedOverTheWholeWindow()
{
    QWidget widget;
    const qsizetype registeredBefore = windowNotifier()->widgets.size();
    const bool extended = extendFrameIntoClientArea(&widget, -1, -1, -1, -1);
    QVERIFY2(extended || !isCompositionEnabled(), "composition is on, yet the frame failed");
    QCOMPARE(widget.testAttribute(Qt::WA_TranslucentBackground), extended);
    QCOMPARE(windowNotifier()->widgets.size(), registeredBefore + (extended ? 1 : 0));
    QVERIFY(IsWindow(reinterpret_cast<HWND>(widget.internalWinId())));
}

void TestGlassNative::compositionMessageReachesTheNotifier_data()
{
    QTest::addColumn<bool>("backgroundBefore");
    QTest::newRow("attribute set before") << true;
    QTest::newRow("attribute cleared before") << false;
}

void TestGlassNative::compositionMessageReachesTheNotifier()
{
    QFETCH(bool, backgroundBefore);
    QWidget widget;
    // Registered by hand: the message must work even where the frame call fails.
    windowNotifier()->widgets.append(&widget);
    widget.setAttribute(Qt::WA_NoSystemBackground, backgroundBefore);

    const HWND notifier = reinterpret_cast<HWND>(windowNotifier()->internalWinId());
    QVERIFY2(IsWindow(notifier), "the notifier has no native window to receive the message");
    SendMessageW(notifier, WM_DWMCOMPOSITIONCHANGED, 0, 0);

    QCOMPARE(widget.testAttribute(Qt::WA_NoSystemBackground), isCompositionEnabled());
}

QTEST_MAIN(TestGlassNative)
#include "tst_glass_native.moc"
