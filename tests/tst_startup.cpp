#include "testsupport.h"

#include "app/version.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>

// The real program, started as a user starts it.
class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity();
    void previousRunsSettingsAreFoundAgain();
};

void TestStartup::identity()
{
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral(QUILLORY_VERSION));
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Brantova"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillory"));
    QVERIFY(!QCoreApplication::organizationDomain().isEmpty());
#ifdef Q_OS_WIN
    QCOMPARE(QSettings().fileName(),
             QStringLiteral("\\HKEY_CURRENT_USER\\Software\\Brantova\\Quillory"));
#else
    QVERIFY(QSettings().fileName().endsWith(QLatin1String("/Brantova/Quillory.conf")));
#endif
}

void TestStartup::previousRunsSettingsAreFoundAgain()
{
    // A remembered language and category only take effect when the window's
    // constructor reads them under the program's own identity; the load of
    // their first snippet then writes the snippet's name back.
    const QString category = TestSupport::libraryPath() + QStringLiteral("/Perl/Loops");
    QVERIFY(QDir().mkpath(category));
    QFile snippet(category + QStringLiteral("/each.spt"));
    QVERIFY(snippet.open(QIODevice::WriteOnly));
    snippet.write("iterate\nfor my $x (@list) {}\n");
    snippet.close();
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Language"), QStringLiteral("Perl"));
        settings.setValue(QStringLiteral("Category"), QStringLiteral("Loops"));
    }

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(QUILLORY_EXECUTABLE), {});
    QVERIFY(program.waitForStarted());

    const QString settingsFile = QSettings().fileName();
#ifdef Q_OS_WIN
    const QSettings::Format format = QSettings::NativeFormat;
#else
    const QSettings::Format format = QSettings::IniFormat;
#endif
    QString remembered;
    QElapsedTimer timer;
    timer.start();
    while (remembered.isEmpty() && timer.elapsed() < 20000) {
        QTest::qWait(50);
        remembered = QSettings(settingsFile, format)
                         .value(QStringLiteral("Snippet")).toString();
    }
    program.kill();
    program.waitForFinished();

    QCOMPARE(remembered, QStringLiteral("each"));
    QVERIFY(!QFileInfo::exists(TestSupport::libraryPath() + QStringLiteral("/Default/Loops")));
}

QUILLORY_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
