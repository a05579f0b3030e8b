#include "testsupport.h"

#include "app/findrequests.h"
#include "app/version.h"
#include "ui/mainwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

// The real program, started as a user starts it.
class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity();
    void previousRunsSettingsAreFoundAgain();
    void findFromAnotherProcess_data();
    void findFromAnotherProcess();
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

void TestStartup::findFromAnotherProcess_data()
{
    // "first": this process is the running Quillory; "stale": so is it, after
    // one that crashed left its socket behind; "none": nothing runs, so the
    // started program must answer the next start itself.
    QTest::addColumn<QString>("running");
    QTest::newRow("a second start reaches the first") << "first";
    QTest::newRow("a socket left by a crash is taken over") << "stale";
    QTest::newRow("with none running, it starts and answers") << "none";
}

void TestStartup::findFromAnotherProcess()
{
    QFETCH(QString, running);
#ifdef Q_OS_UNIX
    QTemporaryDir runtime; // private to this user, as XDG_RUNTIME_DIR is
    QVERIFY(runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    if (running == QLatin1String("stale")) {
        const QByteArray path = QFile::encodeName(findServerName());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::copy(path.begin(), path.end(), address.sun_path);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd); // never listened on, never removed: what a crash leaves
        QVERIFY(QFileInfo::exists(findServerName()));
    }
#else
    if (running == QLatin1String("stale"))
        QSKIP("A Windows pipe goes with the process that made it");
#endif
    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (running == QLatin1String("none")) {
        second.start(QStringLiteral(QUILLORY_EXECUTABLE), {QStringLiteral("--find")});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(FindRequests::forward(QStringLiteral("again")), 20000);
        second.kill();
        second.waitForFinished();
        return;
    }

    MainWindow window;
    FindRequests requests;
    connect(&requests, &FindRequests::findRequested, &window, &MainWindow::findFromOutside);
    QVERIFY(requests.listen());
    second.start(QStringLiteral(QUILLORY_EXECUTABLE),
                 {QStringLiteral("--find"), QStringLiteral("vector"), QStringLiteral("erase")});
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("findDialog"));
    QVERIFY(dialog && dialog->isVisible() && window.isVisible());
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"))->text(),
             QStringLiteral("vector erase"));
}

QUILLORY_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
