#include "testsupport.h"
#include "treesnapshot.h"

#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDataStream>
#include <QFile>
#include <QFont>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QRect>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>

#include <climits>
#include <cstdio>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// Settings that another version, a crash or a hand-edit has left behind.
// QSettings reads its file once per process, so every case starts the window
// in a child process of its own, with its own home and settings file.
namespace {

const char childSwitch[] = "--settings-child";

// The child: start the window as the program does, show it, close it, and
// report what it came up with.
int runChild(int argc, char *argv[])
{
    const QString notice = prepareProcess();
    QApplication application(argc, argv);
    {
        MainWindow window;
        window.show();
        window.showStartupNotice(notice);
        if (!QTest::qWaitForWindowExposed(&window))
            return 3;
        QTest::qWait(20);
        const auto text = [&window](const char *name) {
            return window.findChild<QComboBox *>(QLatin1String(name))->currentText();
        };
        const QFont font = window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->font();
        std::printf("current=%s|%s|%s\n", qPrintable(text("comboBoxLanguage")),
                    qPrintable(text("comboBoxCategory")), qPrintable(text("comboBoxSnippet")));
        std::printf("synopsis=%s\n",
                    qPrintable(window.findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->text()));
        std::printf("size=%dx%d\n", window.width(), window.height());
        std::printf("font=%g|%d\n", font.pointSizeF(), font.pixelSize());
        QString notices;
        for (const QMessageBox *box : window.findChildren<QMessageBox *>())
            notices += box->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::printf("notice=%s\n", qPrintable(notices));
        if (!window.close())
            return 4;
        QCoreApplication::processEvents();
    }
    return 0;
}

QByteArray geometry(const std::function<void(QDataStream &)> &body)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_4_0);
    body(stream);
    return bytes;
}

// The layout of QWidget::saveGeometry(), version 3, with the given values.
QByteArray geometry(QRect frame, QRect normal, qint32 screen, quint8 maximized,
                    quint8 fullScreen, qint32 screenWidth, QRect client)
{
    return geometry([=](QDataStream &out) {
        out << quint32(0x1D9D0CB) << quint16(3) << quint16(0) << frame << normal << screen
            << maximized << fullScreen << screenWidth << client;
    });
}

// The settings file that QSettings itself writes for these values. Each gets
// a file of its own: QSettings caches files by name.
QByteArray iniFileWith(const QVariantMap &values)
{
    static QTemporaryDir dir;
    static int files = 0;
    const QString path = dir.filePath(QString::number(++files) + QStringLiteral(".conf"));
    {
        QSettings settings(path, QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QFont fontOfSize(double points, int pixels)
{
    QFont font(QStringLiteral("Sans"));
    if (points != 0)
        font.setPointSizeF(points);
    if (pixels != 0)
        font.setPixelSize(pixels);
    return font;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    // Enough structure that the parser gets past the first line.
    bytes.replace(100, 8, "\n[General]\n");
    bytes.replace(400, 12, "\nFont=@Variant(");
    bytes.replace(900, 12, "\nGeometry=@ByteArray(");
    return bytes;
}

} // namespace

class TestHostileSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanupTestCase();

    void windowStartsWhateverTheSettings_data();
    void windowStartsWhateverTheSettings();
    void settingsThatCannotBeRead_data();
    void settingsThatCannotBeRead();

private:
    struct Outcome
    {
        bool ok = false;
        QString failure;
        QMap<QString, QString> report;
    };
    Outcome runWindow();

    QString m_home;
    QString m_documents;
};

void TestHostileSettings::init()
{
    m_home = QDir::homePath() + QStringLiteral("/child");
    TreeSnapshot::removeTree(m_home);
#ifdef Q_OS_WIN
    // The child shares the profile: its Documents, and the registry for settings.
    QSettings().clear();
    TestSupport::resetHome();
    m_documents = TestSupport::documentsPath();
#else
    m_documents = m_home + QStringLiteral("/Documents");
#endif
    QVERIFY(QDir().mkpath(m_documents + QStringLiteral("/My Snippets/Perl/Loops")));
    QFile snippet(m_documents + QStringLiteral("/My Snippets/Perl/Loops/each.spt"));
    QVERIFY(snippet.open(QIODevice::WriteOnly));
    snippet.write("iterate\nfor my $x (@list) {}\n");
}

void TestHostileSettings::cleanupTestCase()
{
    TreeSnapshot::removeTree(m_home);
}

TestHostileSettings::Outcome TestHostileSettings::runWindow()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_DOCUMENTS_DIR", "XDG_CONFIG_DIRS"})
        environment.remove(QLatin1String(name));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(childSwitch)});

    Outcome outcome;
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        outcome.failure = QStringLiteral("the window did not come up and close within a minute");
        return outcome;
    }
    const QByteArray errors = child.readAllStandardError();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        outcome.failure = QStringLiteral("the child ended with status %1, code %2:\n%3")
                              .arg(int(child.exitStatus()))
                              .arg(child.exitCode())
                              .arg(QString::fromLocal8Bit(errors.right(4000)));
        return outcome;
    }
    for (QByteArray line : child.readAllStandardOutput().split('\n')) {
        if (line.endsWith('\r')) // the child's standard output is in text mode on Windows
            line.chop(1);
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            outcome.report.insert(QString::fromUtf8(line.left(equals)),
                                  QString::fromUtf8(line.mid(equals + 1)));
    }
    outcome.ok = true;
    return outcome;
}

void TestHostileSettings::windowStartsWhateverTheSettings_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("current");

    const QByteArray remembered("[General]\nLanguage=Perl\nCategory=Loops\nSnippet=each\n");
    const QString usual = QStringLiteral("Perl|Loops|each");
    const QString fallback = QStringLiteral("Default|Default|");

    QTest::newRow("random bytes") << randomBytes(64 * 1024, 1) << fallback;
    QTest::newRow("random bytes, other seed") << randomBytes(64 * 1024, 2) << fallback;
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << fallback;
    QTest::newRow("unterminated group and value")
        << QByteArray("[Gen\neral\nLanguage=\"Perl\nFont=@Variant(\\0\\0\\0@") << fallback;

    const QVariantMap rememberedValues{{QStringLiteral("Language"), QStringLiteral("Perl")},
                                       {QStringLiteral("Category"), QStringLiteral("Loops")},
                                       {QStringLiteral("Snippet"), QStringLiteral("each")}};
    const auto with = [&rememberedValues](const char *key, const QVariant &value) {
        QVariantMap values = rememberedValues;
        values.insert(QLatin1String(key), value);
        return iniFileWith(values);
    };

    const QRect huge(QPoint(INT_MIN + 1, INT_MIN + 1), QPoint(INT_MAX - 1, INT_MAX - 1));
    const QRect inverted(QPoint(500, 500), QPoint(-500, -500));
    QTest::newRow("Geometry: text") << with("Geometry", QStringLiteral("no geometry at all"))
                                    << usual;
    QTest::newRow("Geometry: largest rectangles")
        << with("Geometry", geometry(huge, huge, 0, 0, 0, 1, huge)) << usual;
    QTest::newRow("Geometry: inverted rectangles")
        << with("Geometry", geometry(inverted, inverted, 0, 0, 0, 800, inverted)) << usual;
    QTest::newRow("Geometry: far off screen, unknown screen, maximised and full screen")
        << with("Geometry", geometry(QRect(-90000000, 90000000, 300000000, 200000000),
                                     QRect(-90000000, 90000000, 300000000, 200000000), 4000, 255,
                                     255, -1, QRect(0, 0, 300000000, 200000000)))
        << usual;
    QTest::newRow("Geometry: screen width zero")
        << with("Geometry", geometry(QRect(0, 0, 640, 480), QRect(0, 0, 640, 480), 0, 0, 0, 0,
                                     QRect(0, 0, 640, 480)))
        << usual;
    QTest::newRow("Geometry: header only")
        << with("Geometry", geometry([](QDataStream &out) {
               out << quint32(0x1D9D0CB) << quint16(3) << quint16(0);
           }))
        << usual;
    QTest::newRow("Geometry: a version from the future")
        << with("Geometry", geometry([](QDataStream &out) {
               out << quint32(0x1D9D0CB) << quint16(999) << quint16(999) << QRect(0, 0, 1, 1);
           }))
        << usual;
    QTest::newRow("Geometry: a font") << with("Geometry", QFont()) << usual;

    QTest::newRow("Font: text") << with("Font", QStringLiteral("no font at all")) << usual;
    QTest::newRow("Font: commas") << with("Font", QStringLiteral(",,,,,,,,,,,,,,,,,,,,,,,,,,,"))
                                  << usual;
    QTest::newRow("Font: text of a billion points")
        << with("Font", QStringLiteral("Sans,1000000000,-1,5,400,0,0,0,0,0")) << usual;
    QTest::newRow("Font: text of a billion pixels")
        << with("Font", QStringLiteral("Sans,-1,1000000000,5,400,0,0,0,0,0")) << usual;
    QTest::newRow("Font: text of negative sizes")
        << with("Font", QStringLiteral("Sans,-30,-30,5,400,0,0,0,0,0")) << usual;
    QTest::newRow("Font: a number") << with("Font", 42) << usual;
    QTest::newRow("Font: a geometry") << with("Font", QRect(1, 2, 3, 4)) << usual;
    QTest::newRow("Font: a million points") << with("Font", fontOfSize(1e6, 0)) << usual;
    QTest::newRow("Font: a million pixels") << with("Font", fontOfSize(0, 1000000)) << usual;
    QTest::newRow("Font: not a number of points")
        << with("Font", fontOfSize(std::numeric_limits<double>::quiet_NaN(), 0)) << usual;
    QTest::newRow("Font: infinitely many points")
        << with("Font", fontOfSize(std::numeric_limits<double>::infinity(), 0)) << usual;
    QTest::newRow("Font: family of 1 MB")
        << with("Font", QFont(QString(1024 * 1024, u'F'))) << usual;

    QTest::newRow("remembered names leaving the library")
        << QByteArray("[General]\nLanguage=../../..\nCategory=../../../../etc\n"
                      "Snippet=../../../../../../tmp/x\n")
        << fallback;
    QTest::newRow("remembered names with separators")
        << QByteArray("[General]\nLanguage=Perl/Loops\nCategory=Loops/each.spt\n"
                      "Snippet=/each\n")
        << fallback;
    QTest::newRow("remembered names of the wrong type")
        << QByteArray("[General]\nLanguage=Perl, Loops\nCategory=@Variant(\\0\\0\\0\\x7f\\0\\0\\0"
                      "\\x6QFont\\0)\nSnippet=@Rect(1 2 3 4)\n")
        << fallback;
    QTest::newRow("remembered names that are empty")
        << QByteArray("[General]\nLanguage=\nCategory=\nSnippet=\n") << fallback;
}

void TestHostileSettings::windowStartsWhateverTheSettings()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, current);

#ifdef Q_OS_WIN
    // The registry holds the settings: whatever values the file would give
    // are written there instead.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("Quillory.conf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(settings);
    file.close();
    {
        const QSettings fromFile(file.fileName(), QSettings::IniFormat);
        QSettings registry;
        for (const QString &key : fromFile.allKeys())
            registry.setValue(key, fromFile.value(key));
    }
#else
    const QString configDir = m_home + QStringLiteral("/.config/Brantova");
    QVERIFY(QDir().mkpath(configDir));
    QFile file(configDir + QStringLiteral("/Quillory.conf"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(settings);
    file.close();
#endif
    const TreeSnapshot::Tree before = TreeSnapshot::take(m_documents);

    const Outcome outcome = runWindow();
    QVERIFY2(outcome.ok, qPrintable(outcome.failure));
    QCOMPARE(outcome.report.value(QStringLiteral("current")), current);
    if (current.endsWith(QLatin1String("|each")))
        QCOMPARE(outcome.report.value(QStringLiteral("synopsis")), QStringLiteral("iterate"));

    // A window that fits a screen, and a body font that can be read.
    const QStringList size = outcome.report.value(QStringLiteral("size")).split(QLatin1Char('x'));
    QCOMPARE(size.size(), 2);
    QVERIFY2(size[0].toInt() > 0 && size[0].toInt() <= 4096 && size[1].toInt() > 0
                 && size[1].toInt() <= 4096,
             qPrintable(outcome.report.value(QStringLiteral("size"))));
    const QStringList font = outcome.report.value(QStringLiteral("font")).split(QLatin1Char('|'));
    QCOMPARE(font.size(), 2);
    const double points = font[0].toDouble();
    const int pixels = font[1].toInt();
    QVERIFY2((points > 0 && points <= 1000) || (pixels > 0 && pixels <= 1000),
             qPrintable(outcome.report.value(QStringLiteral("font"))));

    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, TreeSnapshot::take(m_documents)));
#ifndef Q_OS_WIN
    // Nothing outside the library and the settings folder.
    const QStringList expectedHome{QStringLiteral(".config"), QStringLiteral("Documents")};
    QCOMPARE(QDir(m_home).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                    QDir::Name),
             expectedHome);
#endif
}

void TestHostileSettings::settingsThatCannotBeRead_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fifo");
    QTest::addColumn<QString>("link"); // to the FIFO, or without one to nothing
    QTest::addColumn<QString>("notice"); // the file a notice names; empty: none

    const QString conf = QStringLiteral(".config/Brantova/Quillory.conf");
    const QString lock = conf + QStringLiteral(".lock");
    QTest::newRow("the settings file is a folder")
        << conf + QStringLiteral("/inside") << "" << "" << "" << conf;
    QTest::newRow("the settings folder is a file") << "" << ".config/Brantova" << "" << "" << "";
    QTest::newRow("the configuration folder is a file") << "" << ".config" << "" << "" << "";
    QTest::newRow("the settings file is a FIFO") << "" << "" << conf << "" << conf;
    QTest::newRow("the settings file links to a FIFO") << "" << "" << "fifo" << conf << conf;
    QTest::newRow("the lock is a folder") << lock + QStringLiteral("/inside") << "" << "" << ""
                                          << lock;
    QTest::newRow("the lock is a FIFO") << ".config/Brantova" << "" << lock << "" << lock;
    QTest::newRow("the lock links to nothing") << ".config/Brantova" << "" << "" << lock << lock;
}

void TestHostileSettings::settingsThatCannotBeRead()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, fifo);
    QFETCH(QString, link);
    QFETCH(QString, notice);
#ifdef Q_OS_WIN
    QSKIP("No settings file can be in the way on Windows: the registry holds the settings");
#else
    if (!fifo.isEmpty()) {
        const QString path = m_home + QLatin1Char('/') + fifo;
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }
    if (!link.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(m_home + QLatin1Char('/') + link).absolutePath()));
        const QString target = fifo.isEmpty() ? QStringLiteral("nowhere") : fifo;
        QVERIFY(QFile::link(m_home + QLatin1Char('/') + target, m_home + QLatin1Char('/') + link));
    }
#endif
    if (!folder.isEmpty())
        QVERIFY(QDir().mkpath(m_home + QLatin1Char('/') + folder));
    if (!file.isEmpty()) {
        QDir().mkpath(QFileInfo(m_home + QLatin1Char('/') + file).absolutePath());
        QFile stray(m_home + QLatin1Char('/') + file);
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.write("in the way\n");
    }
    const TreeSnapshot::Tree before = TreeSnapshot::take(m_home);

    const Outcome outcome = runWindow();
    QVERIFY2(outcome.ok, qPrintable(outcome.failure));
    // Nothing remembered, and nothing to remember with: the fallbacks.
    QCOMPARE(outcome.report.value(QStringLiteral("current")), QStringLiteral("Default|Default|"));
    const QString told = outcome.report.value(QStringLiteral("notice"));
    QVERIFY2(notice.isEmpty() ? told.isEmpty() : told.contains(m_home + QLatin1Char('/') + notice + QLatin1Char('"')),
             qPrintable(told));

    TreeSnapshot::Tree after = TreeSnapshot::take(m_home);
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, after));
}

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], childSwitch) == 0)
        return runChild(argc, argv);

    TestSupport::IsolatedHome home;
    prepareProcess();
    QApplication app(argc, argv);
    TestHostileSettings tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_hostilesettings.moc"
