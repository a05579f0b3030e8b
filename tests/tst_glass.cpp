#include "glass/composition.h"
#include "glass/windownotifier.h"

#include "fakedwmapi/fakedwmapi.h"

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QTest>
#include <QWidget>

namespace {

constexpr qint32 Ok = 0;
constexpr qint32 OkButFalse = 1; // S_FALSE, still a success
constexpr qint32 Failed = qint32(0x80004005u); // E_FAIL

// A folder on the loader's search path (CTest puts it on LD_LIBRARY_PATH)
// into which the tests make "dwmapi" appear.
QString searchDir()
{
    return QStringLiteral(GLASS_SEARCH_DIR);
}

QString installedLibrary()
{
    return searchDir() + QStringLiteral("/libdwmapi.so");
}

// The state of the copy the helper loaded, not of a second instance.
FakeDwmState *loadedFake()
{
    const auto state = reinterpret_cast<FakeDwmStateFunction>(
            QLibrary(installedLibrary()).resolve("fakeDwmState"));
    return state ? state() : nullptr;
}

class PaintCounter : public QWidget
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

// The helper keeps the library it found and the widgets it extended for the
// life of the process. The first test watches it find the library; init()
// installs the fake for any other test run first or alone.
class TestGlass : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void lookupRetriedWhileLibraryMissing();
    void compositionState_data();
    void compositionState();
    void compositionChangeWithoutWidgets();
    void marginsPassedUnchanged_data();
    void marginsPassedUnchanged();
    void translucency_data();
    void translucency();
    void extendedTwiceListedTwice();
    void compositionChange_data();
    void compositionChange();
    void destroyedWidgetSkipped();

private:
    FakeDwmState *fake = nullptr;
};

void TestGlass::initTestCase()
{
    const QStringList searchPath = qEnvironmentVariable("LD_LIBRARY_PATH").split(QLatin1Char(':'));
    if (!searchPath.contains(searchDir()))
        QFAIL("Run through ctest, which puts the fake library's folder on LD_LIBRARY_PATH");
    // The loader drops a folder from its search path for good once it finds it missing.
    QVERIFY2(QFileInfo(searchDir()).isDir(), "the build creates it; it must exist at start");
    QFile::remove(installedLibrary()); // left by an earlier run
    QVERIFY(!QFile::exists(installedLibrary()));
}

void TestGlass::init()
{
    if (qstrcmp(QTest::currentTestFunction(), "lookupRetriedWhileLibraryMissing") == 0)
        return;
    if (!fake) {
        QVERIFY(QFile::copy(QStringLiteral(FAKE_DWMAPI_PATH), installedLibrary()));
        QVERIFY(resolveDwmLibrary());
        fake = loadedFake();
    }
    QVERIFY2(fake, "the fake library has no state to steer");
    *fake = FakeDwmState();
}

void TestGlass::lookupRetriedWhileLibraryMissing()
{
    if (fake)
        QSKIP("an earlier test installed the library, and the helper keeps what it found");
    QWidget widget;
    widget.setAttribute(Qt::WA_TranslucentBackground);
    for (int attempt = 0; attempt < 2; ++attempt) {
        QVERIFY(!resolveDwmLibrary());
        QVERIFY(!isCompositionEnabled());
        QVERIFY(!extendFrameIntoClientArea(&widget, -1, -1, -1, -1));
    }
    QVERIFY2(widget.testAttribute(Qt::WA_TranslucentBackground), "widget changed without a service");
    QCOMPARE(widget.internalWinId(), WId(0));

    QVERIFY(QFile::copy(QStringLiteral(FAKE_DWMAPI_PATH), installedLibrary()));
    QVERIFY(isCompositionEnabled());
    QVERIFY(resolveDwmLibrary());

    fake = loadedFake();
    QVERIFY(fake);
    QCOMPARE(fake->isEnabledCalls, 1);
}

void TestGlass::compositionState_data()
{
    QTest::addColumn<int>("enabled");
    QTest::addColumn<qint32>("result");
    QTest::addColumn<bool>("expected");

    QTest::newRow("on") << 1 << Ok << true;
    QTest::newRow("off") << 0 << Ok << false;
    QTest::newRow("any non-zero is on") << 2 << Ok << true;
    QTest::newRow("positive result is a success") << 1 << OkButFalse << true;
    QTest::newRow("failed call reads as off") << 1 << Failed << false;
}

void TestGlass::compositionState()
{
    QFETCH(int, enabled);
    QFETCH(qint32, result);
    QFETCH(bool, expected);
    fake->compositionEnabled = enabled;
    fake->isEnabledResult = result;

    QCOMPARE(isCompositionEnabled(), expected);
    QCOMPARE(fake->isEnabledCalls, 1);
    QCOMPARE(fake->enabledOnEntry, 0);
}

void TestGlass::compositionChangeWithoutWidgets()
{
    WindowNotifier *notifier = windowNotifier();
    QVERIFY(notifier->isWindow());
    QVERIFY2(notifier->internalWinId() != 0, "the message only reaches a native window");
    QVERIFY(!notifier->isVisible());
    // Widgets of a test run earlier are gone, but their guarded entries stay.
    notifier->widgets.removeIf([](const QPointer<QWidget> &widget) { return widget.isNull(); });
    QVERIFY(notifier->widgets.isEmpty());

    notifier->compositionChanged();
    QCOMPARE(fake->isEnabledCalls, 1);
    QCOMPARE(fake->extendCalls, 0);
}

void TestGlass::marginsPassedUnchanged_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");

    QTest::newRow("whole window") << -1 << -1 << -1 << -1;
    QTest::newRow("each side its own") << 1 << 2 << 3 << 4;
    QTest::newRow("no glass") << 0 << 0 << 0 << 0;
    QTest::newRow("mixed extremes") << -1 << 0 << 2147483647 << -2147483647 - 1;
}

void TestGlass::marginsPassedUnchanged()
{
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, top);
    QFETCH(int, bottom);
    QWidget widget;

    QVERIFY(extendFrameIntoClientArea(&widget, left, right, top, bottom));
    QCOMPARE(fake->extendCalls, 1);
    QCOMPARE(fake->lastWindow, reinterpret_cast<void *>(widget.winId()));
    QCOMPARE(fake->lastMargins[0], left);
    QCOMPARE(fake->lastMargins[1], right);
    QCOMPARE(fake->lastMargins[2], top);
    QCOMPARE(fake->lastMargins[3], bottom);
}

void TestGlass::translucency_data()
{
    QTest::addColumn<qint32>("result");
    QTest::addColumn<bool>("translucentBefore");
    QTest::addColumn<bool>("expected");

    QTest::newRow("success") << Ok << false << true;
    QTest::newRow("positive result is a success") << OkButFalse << false << true;
    QTest::newRow("failure on an opaque widget") << Failed << false << false;
    QTest::newRow("failure clears translucency set before") << Failed << true << false;
}

void TestGlass::translucency()
{
    QFETCH(qint32, result);
    QFETCH(bool, translucentBefore);
    QFETCH(bool, expected);
    fake->extendResult = result;
    QWidget widget;
    widget.setAttribute(Qt::WA_TranslucentBackground, translucentBefore);
    widget.setAttribute(Qt::WA_NoSystemBackground, true);
    const qsizetype registeredBefore = windowNotifier()->widgets.size();

    QCOMPARE(extendFrameIntoClientArea(&widget, -1, -1, -1, -1), expected);
    QCOMPARE(widget.testAttribute(Qt::WA_TranslucentBackground), expected);
    QVERIFY2(widget.testAttribute(Qt::WA_NoSystemBackground), "left to composition changes");
    QCOMPARE(windowNotifier()->widgets.size(), registeredBefore + (expected ? 1 : 0));
    QCOMPARE(windowNotifier()->widgets.count(&widget), expected ? 1 : 0);
}

void TestGlass::extendedTwiceListedTwice()
{
    QWidget widget;
    QVERIFY(extendFrameIntoClientArea(&widget, -1, -1, -1, -1));
    QVERIFY(extendFrameIntoClientArea(&widget, 0, 0, 10, 0));

    const QList<QPointer<QWidget>> &widgets = windowNotifier()->widgets;
    QCOMPARE(widgets.count(&widget), 2);
    QVERIFY(widgets.last() == &widget);

    fake->isEnabledCalls = 0;
    widget.setAttribute(Qt::WA_NoSystemBackground, false);
    windowNotifier()->compositionChanged();
    QVERIFY(widget.testAttribute(Qt::WA_NoSystemBackground));
    QCOMPARE(fake->isEnabledCalls, 1); // once per change, not per entry
}

void TestGlass::compositionChange_data()
{
    QTest::addColumn<int>("enabled");
    QTest::addColumn<qint32>("result");
    QTest::addColumn<bool>("expected");

    QTest::newRow("switched on") << 1 << Ok << true;
    QTest::newRow("switched off") << 0 << Ok << false;
    QTest::newRow("service fails") << 1 << Failed << false;
}

void TestGlass::compositionChange()
{
    QFETCH(int, enabled);
    QFETCH(qint32, result);
    QFETCH(bool, expected);
    PaintCounter widget;
    QVERIFY(extendFrameIntoClientArea(&widget, -1, -1, -1, -1));
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    widget.setAttribute(Qt::WA_NoSystemBackground, !expected);
    QTRY_VERIFY(widget.paints > 0);
    QTest::qWait(20);

    *fake = FakeDwmState();
    fake->compositionEnabled = enabled;
    fake->isEnabledResult = result;
    widget.paints = 0;
    windowNotifier()->compositionChanged();

    QCOMPARE(widget.testAttribute(Qt::WA_NoSystemBackground), expected);
    QVERIFY2(widget.testAttribute(Qt::WA_TranslucentBackground), "stays as the extension set it");
    QCOMPARE(fake->isEnabledCalls, 1);
    QCOMPARE(fake->extendCalls, 0);
    QTRY_VERIFY2(widget.paints > 0, "no repaint scheduled");
}

void TestGlass::destroyedWidgetSkipped()
{
    auto *destroyed = new QWidget;
    QWidget kept;
    QVERIFY(extendFrameIntoClientArea(destroyed, -1, -1, -1, -1));
    QVERIFY(extendFrameIntoClientArea(&kept, -1, -1, -1, -1));
    delete destroyed;
    kept.setAttribute(Qt::WA_NoSystemBackground, false);

    windowNotifier()->compositionChanged();
    QVERIFY2(kept.testAttribute(Qt::WA_NoSystemBackground), "walk stopped at a destroyed widget");
}

QTEST_MAIN(TestGlass)
#include "tst_glass.moc"
