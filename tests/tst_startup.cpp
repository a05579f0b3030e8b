#include "testsupport.h"

#include "app/findrequests.h"
#include "app/version.h"
#include "ui/mainwindow.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <vector>
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
    // started program must answer the next start itself. The other states
    // wear the running one's listener down first.
    QTest::addColumn<QString>("running");
    QTest::addColumn<QStringList>("arguments"); // the second start's
    QTest::addColumn<QString>("query");         // what reaches the Find window
    const QStringList plain{"--find", "vector", "erase"};
    QTest::newRow("a second start reaches the first") << "first" << plain << "vector erase";
    QTest::newRow("a socket left by a crash is taken over") << "stale" << plain << "vector erase";
    QTest::newRow("with none running, it starts and answers") << "none" << QStringList{"--find"}
                                                              << "";
    // Qt took these from the whole command line: an unknown platform ended
    // the start, and -name and -reverse vanished from the query.
    QTest::newRow("a search word that is Qt's fatal option")
        << "first" << QStringList{"--find", "docker", "--platform", "linux/amd64"}
        << "docker --platform linux/amd64";
    QTest::newRow("search words that are Qt's options arrive whole")
        << "first" << QStringList{"--find", "find", ".", "-name", "*.txt", "-reverse"}
        << "find . -name *.txt -reverse";
    QTest::newRow("Qt's options before --find stay Qt's")
        << "first" << QStringList{"-reverse", "--find", "erase"} << "erase";
    QTest::newRow("idle connections beyond the cap are turned away") << "crowded" << plain
                                                                     << "vector erase";
    QTest::newRow("an idle connection is closed") << "idle" << plain << "vector erase";
    QTest::newRow("an oversized request is cut off") << "oversized" << plain << "vector erase";
    QTest::newRow("a listener stopped by a lack of descriptors listens again")
        << "exhausted" << plain << "vector erase";
    QTest::newRow("a start in another's probe window leaves the name alone")
        << "locked" << plain << "vector erase";
}

// What the running Quillory's listener must survive before the second start.
static void wearDown(const QString &running, FindRequests &requests)
{
    auto *server = requests.findChild<QLocalServer *>();
    QVERIFY(server && server->isListening());
    const auto connectTo = [](QObject *parent) {
        auto *client = new QLocalSocket(parent);
        client->connectToServer(findServerName());
        return client;
    };
    QObject clients;
    if (running == QLatin1String("crowded")) {
        for (int i = 0; i < 40; ++i)
            connectTo(&clients);
        QTest::qWait(200);
        QVERIFY2(server->findChildren<QLocalSocket *>().size() <= 8,
                 "the listener keeps every idle connection open");
    } else if (running == QLatin1String("idle")) {
        QLocalSocket *client = connectTo(&clients);
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QLocalSocket::UnconnectedState, 6000);
    } else if (running == QLatin1String("oversized")) {
        QLocalSocket *client = connectTo(&clients);
        QByteArray request;
        QDataStream out(&request, QIODevice::WriteOnly);
        out << QString(200000, QLatin1Char('x'));
        client->write(request);
        QTRY_COMPARE_WITH_TIMEOUT(client->state(), QLocalSocket::UnconnectedState, 2000);
        for (const QLocalSocket *held : server->findChildren<QLocalSocket *>())
            QVERIFY(held->bytesAvailable() <= 8 * 1024);
    } else if (running == QLatin1String("exhausted")) {
#ifdef Q_OS_UNIX
        // Every descriptor taken: the server's accept() fails and
        // QLocalServer stops listening for good.
        struct Exhausted
        {
            rlimit before{};
            bool lowered = false;
            std::vector<int> taken;
            ~Exhausted()
            {
                for (int fd : taken)
                    ::close(fd);
                if (lowered)
                    setrlimit(RLIMIT_NOFILE, &before);
            }
        } exhausted;
        // The client's socket is made first: once the table is full, its
        // connect() needs no descriptor, and the server's accept() has none.
        const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(client >= 0);
        exhausted.taken.push_back(client);
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &exhausted.before), 0);
        rlimit low = exhausted.before;
        low.rlim_cur = std::min<rlim_t>(256, low.rlim_cur);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        exhausted.lowered = true;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;)
            exhausted.taken.push_back(fd);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(findServerName());
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::copy(path.begin(), path.end(), address.sun_path);
        QCOMPARE(::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!server->isListening(), 5000);
        for (int fd : exhausted.taken)
            ::close(fd);
        exhausted.taken.clear();
        exhausted.lowered = false;
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &exhausted.before), 0);
        QTRY_VERIFY_WITH_TIMEOUT(server->isListening(), 5000);
#else
        QSKIP("No descriptor limit to exhaust");
#endif
    } else if (running == QLatin1String("locked")) {
        // A start that holds the lock is between its probe and its listen:
        // this one must neither remove the name nor listen itself.
        server->close();
        QLockFile other(findLockPath());
        QVERIFY(other.tryLock(0));
        FindRequests second;
        QVERIFY(!second.listen());
        other.unlock();
        QTRY_VERIFY_WITH_TIMEOUT(server->isListening(), 5000);
        QVERIFY(!second.listen()); // the first answers again
    }
}

void TestStartup::findFromAnotherProcess()
{
    QFETCH(QString, running);
    QFETCH(QStringList, arguments);
    QFETCH(QString, query);
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
        second.start(QStringLiteral(QUILLORY_EXECUTABLE), arguments);
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
    wearDown(running, requests);
    if (QTest::currentTestFailed())
        return;
    second.start(QStringLiteral(QUILLORY_EXECUTABLE), arguments);
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    auto *dialog = window.findChild<QDialog *>(QStringLiteral("findDialog"));
    QVERIFY(dialog && dialog->isVisible() && window.isVisible());
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"))->text(), query);
}

QUILLORY_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
