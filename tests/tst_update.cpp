#include "components/update.h"
#include "components/updatecheck.h"
#include "components/updatefeed.h"

#include "testsupport.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QMessageBox>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QVersionNumber>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(UpdateOutcome::Kind)

namespace {

// Path -> canned HTTP response; "{base}" in a response becomes the server's
// address. An empty response never answers. Unknown paths get a 404.
using Routes = QMap<QByteArray, QByteArray>;

QByteArray http(int status, const QByteArray &reason, const QByteArray &body,
                const QByteArray &headers = {})
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n" + headers
            + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray feed(const QByteArray &version)
{
    return http(200, "OK",
                R"({"version": ")" + version + R"(", "url": "https://example.org/download"})",
                "Content-Type: application/json\r\n");
}

QByteArray redirectTo(const QByteArray &location)
{
    return http(302, "Found", "moved", "Location: " + location + "\r\n");
}

// Answers on 127.0.0.1 only, so no test ever reaches another machine.
class FeedServer : public QObject
{
public:
    explicit FeedServer(const Routes &routes = {}) : m_routes(routes)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, &FeedServer::accept);
    }

    QUrl url(const QByteArray &path = "/feed") const
    {
        return QUrl(QString::fromLatin1(base() + path));
    }
    QList<QByteArray> requests() const { return m_requests; }

private:
    QByteArray base() const
    {
        return "http://127.0.0.1:" + QByteArray::number(m_server.serverPort());
    }

    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            auto request = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                *request += socket->readAll();
                // Requests without a body, one after another on a kept-alive connection.
                for (qsizetype end; (end = request->indexOf("\r\n\r\n")) >= 0;) {
                    serve(socket, request->left(end));
                    request->remove(0, end + 4);
                }
            });
        }
    }

    void serve(QTcpSocket *socket, const QByteArray &request)
    {
        const QByteArray path = request.split(' ').value(1);
        m_requests.append(path);
        QByteArray response = m_routes.value(path, http(404, "Not Found", "no such feed"));
        if (response.isEmpty())
            return; // a server that has stopped answering
        socket->write(response.replace("{base}", base()));
        if (response.contains("Connection: close"))
            socket->disconnectFromHost();
    }

    QTcpServer m_server;
    Routes m_routes;
    QList<QByteArray> m_requests;
};

std::optional<UpdateOutcome> runCheck(const QUrl &url, std::chrono::milliseconds timeout = 5s)
{
    std::optional<UpdateOutcome> result;
    UpdateCheck check(url, QCoreApplication::applicationVersion(), timeout);
    QObject::connect(&check, &UpdateCheck::finished,
                     [&result](const UpdateOutcome &outcome) { result = outcome; });
    check.start();
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 10000))
        return std::nullopt;
    return result;
}

QList<QMessageBox *> openMessageBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            boxes.append(box);
    }
    return boxes;
}

// Runs the manual check and returns the text of its dialog once the dialog
// shows a result; the answer's OK is then pressed like a user would.
QString answerOfManualCheck()
{
    QString text;
    QTimer poll;
    poll.callOnTimeout([&text] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->standardButtons() == QMessageBox::Ok) {
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(10);
    // A dialog that never settles fails the test instead of hanging it.
    QTimer failsafe;
    failsafe.setSingleShot(true);
    failsafe.callOnTimeout([] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    failsafe.start(15000);
    Update::getUpdater()->manualCheck();
    return text;
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void feedAddress_data();
    void feedAddress();
    void judgeFeed_data();
    void judgeFeed();
    void messageEscapesFeedData();

    void checkOverLoopback_data();
    void checkOverLoopback();
    void silentServerTimesOut();
    void unreachableServerFails();

    void autoCheckWithoutFeedSendsNothing_data();
    void autoCheckWithoutFeedSendsNothing();
    void autoCheckDoesNotWaitAndFailsSilently();
    void autoCheckTellsAboutNewerVersionWithoutBlocking();
    void autoCheckStaysQuietUnlessNewer_data();
    void autoCheckStaysQuietUnlessNewer();
    void manualCheckAlwaysAnswers_data();
    void manualCheckAlwaysAnswers();
    void manualCheckCanBeCancelled();
};

void TestUpdate::init()
{
    Update::getUpdater()->setTimeout(5s);
    qunsetenv("QUILLORY_UPDATE_FEED");
}

void TestUpdate::cleanup()
{
    QTRY_VERIFY(!Update::getUpdater()->isAutoCheckRunning());
    const QList<QMessageBox *> leftOpen = openMessageBoxes();
    for (QMessageBox *box : leftOpen)
        box->close();
    QVERIFY2(leftOpen.isEmpty(), "a message box was left open");
}

void TestUpdate::feedAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("https") << "https://updates.example.org/feed.json" << true;
    QTest::newRow("http to another machine") << "http://updates.example.org/feed.json" << false;
    QTest::newRow("http to 127.0.0.1") << "http://127.0.0.1:8080/feed" << true;
    QTest::newRow("http to 127.x") << "http://127.3.2.1/feed" << true;
    QTest::newRow("http to ::1") << "http://[::1]:8080/feed" << true;
    QTest::newRow("http to localhost") << "http://LocalHost/feed" << true;
    QTest::newRow("loopback-looking host name") << "http://127.0.0.1.example.org/feed" << false;
    QTest::newRow("http to a private address") << "http://192.168.1.1/feed" << false;
    QTest::newRow("ftp") << "ftp://127.0.0.1/feed" << false;
    QTest::newRow("local file") << "file:///etc/hostname" << false;
    QTest::newRow("no host") << "https:///feed" << false;
    QTest::newRow("empty") << "" << false;
}

void TestUpdate::feedAddress()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(UpdateFeed::isAllowedUrl(QUrl(url, QUrl::StrictMode)), allowed);
}

void TestUpdate::judgeFeed_data()
{
    using Kind = UpdateOutcome::Kind;
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("running");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("detail"); // the version found, or part of the failure

    const QByteArray page = R"(, "url": "https://example.org/download"})";
    const QString ours = QCoreApplication::applicationVersion();
    QTest::newRow("newer") << R"({"version": "1.2.0")" + page << ours << Kind::NewerAvailable
                           << "1.2.0";
    QTest::newRow("newer in the last part") << R"({"version": "1.0.0.10")" + page << "1.0.0.2"
                                            << Kind::NewerAvailable << "1.0.0.10";
    QTest::newRow("same") << R"({"version": ")" + ours.toUtf8() + '"' + page << ours
                          << Kind::UpToDate << ours;
    QTest::newRow("same with a trailing zero is not newer")
            << R"({"version": "1.0.0.2.0")" + page << "1.0.0.2" << Kind::UpToDate << "1.0.0.2.0";
    QTest::newRow("shorter but equal") << R"({"version": "1.0")" + page << "1.0.0" << Kind::UpToDate
                                       << "1.0";
    QTest::newRow("older") << R"({"version": "0.9.7")" + page << ours << Kind::UpToDate
                           << "0.9.7";
    QTest::newRow("surrounding blanks") << R"({"version": " 2.0 ")" + page << ours
                                        << Kind::NewerAvailable << "2.0";

    QTest::newRow("not JSON") << QByteArray("<html>It works!</html>") << ours << Kind::Failed
                              << "not valid JSON";
    QTest::newRow("empty") << QByteArray() << ours << Kind::Failed << "not valid JSON";
    QTest::newRow("array") << QByteArray(R"(["1.2.0"])") << ours << Kind::Failed
                           << "not a JSON object";
    QTest::newRow("no version") << R"({"name": "x")" + page << ours << Kind::Failed
                                << "names no version";
    QTest::newRow("version is a number") << R"({"version": 2)" + page << ours
                                         << Kind::Failed << "names no version";
    QTest::newRow("pre-release suffix is not a newer release")
            << R"({"version": "1.2.0-beta")" + page << ours << Kind::Failed
            << "not a version number";
    QTest::newRow("prefixed") << R"({"version": "v2.0")" + page << ours << Kind::Failed
                              << "not a version number";
    QTest::newRow("word") << R"({"version": "latest")" + page << ours << Kind::Failed
                          << "not a version number";
    QTest::newRow("segment overflow") << R"({"version": "1.99999999999999999999")" + page
                                      << ours << Kind::Failed << "not a version number";
    QTest::newRow("no download page") << QByteArray(R"({"version": "9.0"})") << ours
                                      << Kind::Failed << "no valid download page";
    QTest::newRow("script link")
            << QByteArray(R"json({"version": "9.0", "url": "javascript:alert(1)"})json") << ours
            << Kind::Failed << "no valid download page";
    QTest::newRow("plain http download page")
            << QByteArray(R"({"version": "9.0", "url": "http://example.org/d"})") << ours
            << Kind::Failed << "no valid download page";
    QTest::newRow("huge") << R"({"version": "9.0", "pad": ")"
                    + QByteArray(UpdateFeed::maximumSize, 'x') + "\"" + page
                          << ours << Kind::Failed << "larger than 64 KiB";
    QTest::newRow("running version unknown") << R"({"version": "1.2.0")" + page << ""
                                             << Kind::Failed << "running version";
}

void TestUpdate::judgeFeed()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, running);
    QFETCH(UpdateOutcome::Kind, kind);
    QFETCH(QString, detail);

    const UpdateOutcome outcome = UpdateFeed::judge(document, running);
    QCOMPARE(outcome.kind, kind);
    if (kind == UpdateOutcome::Kind::Failed) {
        QVERIFY2(outcome.failure.contains(detail), qPrintable(outcome.failure));
    } else {
        QCOMPARE(outcome.newestVersion, detail);
        QCOMPARE(outcome.downloadPage, QUrl(QStringLiteral("https://example.org/download")));
    }
}

void TestUpdate::messageEscapesFeedData()
{
    UpdateOutcome newer;
    newer.kind = UpdateOutcome::Kind::NewerAvailable;
    newer.newestVersion = QStringLiteral("2.0");
    newer.downloadPage = QUrl(QStringLiteral("https://example.org/get?a=1&b=<i>x</i>\"y"));
    const QString ours = QCoreApplication::applicationVersion();
    const QString text = UpdateFeed::describe(newer, QStringLiteral("Quillory"), ours);
    QVERIFY(text.contains(QStringLiteral("Version 2.0 is available")));
    QVERIFY(text.contains(ours));
    QVERIFY(text.contains(QStringLiteral("<a href=\"https://example.org/get?a=1&amp;b=")));
    QVERIFY(!text.contains(QStringLiteral("<i>")));
    QVERIFY(!text.contains(QStringLiteral("\"y")));

    const QString failed = UpdateFeed::describe(
            UpdateOutcome::failed(QStringLiteral("the server said <b>no</b>")),
            QStringLiteral("Quillory"), ours);
    QVERIFY(failed.contains(QStringLiteral("&lt;b&gt;no&lt;/b&gt;")));
}

void TestUpdate::checkOverLoopback_data()
{
    using Kind = UpdateOutcome::Kind;
    QTest::addColumn<Routes>("routes");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QList<QByteArray>>("requests");

    const QList<QByteArray> feedOnly{"/feed"};
    const QString ours = QCoreApplication::applicationVersion();
    QTest::newRow("newer") << Routes{{"/feed", feed("1.2.0")}} << Kind::NewerAvailable << "1.2.0"
                           << feedOnly;
    QTest::newRow("same") << Routes{{"/feed", feed(ours.toUtf8())}} << Kind::UpToDate << ours
                          << feedOnly;
    QTest::newRow("older") << Routes{{"/feed", feed("1.0")}} << Kind::UpToDate << "1.0"
                           << feedOnly;
    QTest::newRow("malformed") << Routes{{"/feed", http(200, "OK", R"({"version": )")}}
                               << Kind::Failed << "not valid JSON" << feedOnly;
    QTest::newRow("missing") << Routes{} << Kind::Failed << "answered 404 Not Found" << feedOnly;
    QTest::newRow("server error") << Routes{{"/feed", http(500, "Internal Server Error", "oops")}}
                                  << Kind::Failed << "answered 500" << feedOnly;
    QTest::newRow("huge with length")
            << Routes{{"/feed", http(200, "OK", QByteArray(1024 * 1024, ' '))}} << Kind::Failed
            << "larger than 64 KiB" << feedOnly;
    QTest::newRow("huge without length")
            << Routes{{"/feed", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"
                                        + QByteArray(1024 * 1024, ' ')}}
            << Kind::Failed << "larger than 64 KiB" << feedOnly;
    QTest::newRow("redirect on this computer")
            << Routes{{"/feed", redirectTo("/moved")}, {"/moved", feed("1.2.0")}}
            << Kind::NewerAvailable << "1.2.0" << QList<QByteArray>{"/feed", "/moved"};
    QTest::newRow("redirect to another scheme")
            << Routes{{"/feed", redirectTo("ftp://127.0.0.1/feed")}} << Kind::Failed
            << "redirected to" << feedOnly;
    QTest::newRow("redirect from http to https")
            << Routes{{"/feed", redirectTo("https://127.0.0.1/feed")}} << Kind::Failed
            << "redirected to" << feedOnly;
    QTest::newRow("redirect loop")
            << Routes{{"/feed", redirectTo("/other")}, {"/other", redirectTo("{base}/feed")}}
            << Kind::Failed << "redirected more than 5 times"
            << QList<QByteArray>{"/feed", "/other", "/feed", "/other", "/feed", "/other"};
}

void TestUpdate::checkOverLoopback()
{
    QFETCH(Routes, routes);
    QFETCH(UpdateOutcome::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(QList<QByteArray>, requests);

    FeedServer server(routes);
    const std::optional<UpdateOutcome> outcome = runCheck(server.url());
    QVERIFY(outcome);
    QCOMPARE(outcome->kind, kind);
    if (kind == UpdateOutcome::Kind::Failed)
        QVERIFY2(outcome->failure.contains(detail), qPrintable(outcome->failure));
    else
        QCOMPARE(outcome->newestVersion, detail);
    QCOMPARE(server.requests(), requests);
}

void TestUpdate::silentServerTimesOut()
{
    FeedServer server(Routes{{"/feed", QByteArray()}});
    QElapsedTimer clock;
    clock.start();
    const std::optional<UpdateOutcome> outcome = runCheck(server.url(), 300ms);
    QVERIFY(outcome);
    QCOMPARE(outcome->kind, UpdateOutcome::Kind::Failed);
    QVERIFY2(outcome->failure.contains(QStringLiteral("did not answer within 0.3 seconds")),
             qPrintable(outcome->failure));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(server.requests().size(), 1);
}

void TestUpdate::unreachableServerFails()
{
    QUrl url;
    {
        FeedServer closed;
        url = closed.url();
    }
    const std::optional<UpdateOutcome> outcome = runCheck(url);
    QVERIFY(outcome);
    QCOMPARE(outcome->kind, UpdateOutcome::Kind::Failed);
    QVERIFY2(outcome->failure.contains(QStringLiteral("could not be reached")),
             qPrintable(outcome->failure));
}

void TestUpdate::autoCheckWithoutFeedSendsNothing_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("blank") << QByteArray("  ");
}

void TestUpdate::autoCheckWithoutFeedSendsNothing()
{
    QFETCH(QByteArray, setting);
    qputenv("QUILLORY_UPDATE_FEED", setting);

    Update::getUpdater()->autoCheck();
    QVERIFY(!Update::getUpdater()->isAutoCheckRunning());
    QVERIFY(QCoreApplication::instance()->findChildren<UpdateCheck *>().isEmpty());
}

void TestUpdate::autoCheckDoesNotWaitAndFailsSilently()
{
    FeedServer server(Routes{{"/feed", QByteArray()}});
    qputenv("QUILLORY_UPDATE_FEED", server.url().toEncoded());
    Update::getUpdater()->setTimeout(1500ms);

    QElapsedTimer clock;
    clock.start();
    Update::getUpdater()->autoCheck();
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(Update::getUpdater()->isAutoCheckRunning());

    QTRY_VERIFY_WITH_TIMEOUT(!Update::getUpdater()->isAutoCheckRunning(), 10000);
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(openMessageBoxes().isEmpty());
}

void TestUpdate::autoCheckTellsAboutNewerVersionWithoutBlocking()
{
    QWidget window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    FeedServer server(Routes{{"/feed", feed("1.2.0")}});
    qputenv("QUILLORY_UPDATE_FEED", server.url().toEncoded());
    Update::getUpdater()->autoCheck();
    QTRY_COMPARE(openMessageBoxes().size(), 1);

    QPointer<QMessageBox> notice = openMessageBoxes().constFirst();
    QVERIFY(!notice->isModal());
    QCOMPARE(notice->windowModality(), Qt::NonModal);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(notice->parentWidget(), &window);
    QVERIFY(notice->text().contains(QStringLiteral("Version 1.2.0 is available")));
    QVERIFY(notice->text().contains(QStringLiteral("href=\"https://example.org/download\"")));

    notice->button(QMessageBox::Ok)->click();
    QTRY_VERIFY(notice.isNull());
}

void TestUpdate::autoCheckStaysQuietUnlessNewer_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::newRow("same") << feed(QCoreApplication::applicationVersion().toUtf8());
    QTest::newRow("older") << feed("0.9");
    QTest::newRow("malformed") << http(200, "OK", "{");
    QTest::newRow("missing") << http(404, "Not Found", {});
}

void TestUpdate::autoCheckStaysQuietUnlessNewer()
{
    QFETCH(QByteArray, response);
    FeedServer server(Routes{{"/feed", response}});
    qputenv("QUILLORY_UPDATE_FEED", server.url().toEncoded());

    Update::getUpdater()->autoCheck();
    QTRY_VERIFY(!Update::getUpdater()->isAutoCheckRunning());
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(openMessageBoxes().isEmpty());
}

void TestUpdate::manualCheckAlwaysAnswers_data()
{
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QStringList>("expected");

    const QString ours = QCoreApplication::applicationVersion();
    const QString thisIs = QStringLiteral("This is Quillory ") + ours;
    const QString upToDate = QStringLiteral("Quillory %1 is up to date").arg(ours);

    QTest::newRow("no feed") << false << QByteArray()
                             << QStringList{thisIs, "from the package it was installed with"};
    QTest::newRow("newer") << true << feed("1.2.0")
                           << QStringList{"Version 1.2.0 is available; this is Quillory " + ours,
                                          "href=\"https://example.org/download\""};
    QTest::newRow("same") << true << feed(ours.toUtf8()) << QStringList{upToDate};
    QTest::newRow("older") << true << feed("1.0") << QStringList{upToDate};
    QTest::newRow("missing") << true << http(404, "Not Found", {})
                             << QStringList{thisIs, "failed", "answered 404 Not Found"};
    QTest::newRow("malformed") << true << http(200, "OK", "1.2.0")
                               << QStringList{"failed", "not valid JSON"};
}

void TestUpdate::manualCheckAlwaysAnswers()
{
    QFETCH(bool, configured);
    QFETCH(QByteArray, response);
    QFETCH(QStringList, expected);

    FeedServer server(Routes{{"/feed", response}});
    qputenv("QUILLORY_UPDATE_FEED", configured ? server.url().toEncoded() : QByteArray());

    const QString text = answerOfManualCheck();
    for (const QString &part : expected)
        QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(server.requests().size(), configured ? 1 : 0);
}

void TestUpdate::manualCheckCanBeCancelled()
{
    FeedServer server(Routes{{"/feed", QByteArray()}});
    qputenv("QUILLORY_UPDATE_FEED", server.url().toEncoded());
    Update::getUpdater()->setTimeout(60s);

    // Cancel only once the request is out, so the check really is under way.
    bool cancelled = false;
    QTimer poll;
    poll.callOnTimeout([&server, &cancelled] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QAbstractButton *cancel = box ? box->button(QMessageBox::Cancel) : nullptr;
        if (cancel && !server.requests().isEmpty() && !cancelled) {
            cancelled = true;
            cancel->click();
        }
    });
    poll.start(10);

    QElapsedTimer clock;
    clock.start();
    Update::getUpdater()->manualCheck();
    QVERIFY2(cancelled, "the dialog offered no Cancel while the check was under way");
    QVERIFY(clock.elapsed() < 10000);
}

QUILLORY_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
