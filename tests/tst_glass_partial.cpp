#include "glass/composition.h"
#include "glass/windownotifier.h"

#include <QTest>
#include <QWidget>

// Runs against a fake "dwmapi" that reports composition but lacks the frame
// extension, which must not be called through a null pointer.
class TestGlassPartial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extendWithoutEntryPoint();
};

void TestGlassPartial::extendWithoutEntryPoint()
{
    QVERIFY2(isCompositionEnabled(), "the partial fake library was not found");
    QWidget widget;
    widget.setAttribute(Qt::WA_TranslucentBackground);

    QVERIFY(!extendFrameIntoClientArea(&widget, -1, -1, -1, -1));
    QVERIFY(widget.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(widget.internalWinId(), WId(0));
    QVERIFY(windowNotifier()->widgets.isEmpty());
}

QTEST_MAIN(TestGlassPartial)
#include "tst_glass_partial.moc"
