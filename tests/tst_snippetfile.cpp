#include "testsupport.h"

#include "library/snippetfile.h"
#include "ui/snippetfields.h"

#include <QFile>
#include <QLineEdit>
#include <QTextEdit>

#include <csignal>
#ifdef Q_OS_UNIX
#  include <sys/resource.h>
#endif

// The .spt format: bytes on disk against the two fields, both ways.
class TestSnippetFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void reading_data();
    void reading();
    void roundTripThroughFields_data();
    void roundTripThroughFields();
    void writtenBytes_data();
    void writtenBytes();
    void shorterSaveLeavesNoTail();
    void saveCreatesTheCategoryFolder();
    void unopenableFileIsNothing();
    void failedSaveKeepsOldBytes_data();
    void failedSaveKeepsOldBytes();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray bytesOf(const QString &file) const;

    QTemporaryDir m_dir;
};

void TestSnippetFile::init()
{
    QDir(m_dir.path()).removeRecursively();
    QDir().mkpath(m_dir.path());
}

QByteArray TestSnippetFile::bytesOf(const QString &file) const
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestSnippetFile::reading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("synopsis");
    QTest::addColumn<QString>("body");

    QTest::newRow("zero bytes") << QByteArray() << "" << "";
    QTest::newRow("no line feed") << QByteArray("abc") << "abc" << "";
    QTest::newRow("one line feed") << QByteArray("abc\n") << "abc" << "";
    QTest::newRow("CR LF after synopsis") << QByteArray("abc\r\nx\r\ny") << "abc" << "x\r\ny";
    QTest::newRow("leading line feed") << QByteArray("\nrest\n") << "" << "rest\n";
    QTest::newRow("body keeps empty lines")
        << QByteArray("s\n\n\nx\n\n") << "s" << "\n\nx\n\n";
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\nb") << "\u00e9t\u00e9"
                               << "b";
    QTest::newRow("UTF-16LE BOM") << QByteArray("\xFF\xFEs\0\n\0b\0", 8) << "s" << "b";
    QTest::newRow("UTF-16BE BOM") << QByteArray("\xFE\xFF\0s\0\n\0b", 8) << "s" << "b";
    QTest::newRow("invalid UTF-8 is Windows-1252")
        << QByteArray("caf\xE9 \x80\n\x93quoted\x94 \x81") << "caf\u00e9 \u20ac"
        << "\u201cquoted\u201d \u0081";
    QTest::newRow("NUL bytes") << QByteArray("a\0b\nc\0", 6) << QString::fromUtf16(u"a\0b", 3)
                               << QString::fromUtf16(u"c\0", 2);
}

void TestSnippetFile::reading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, synopsis);
    QFETCH(QString, body);

    QFile file(path(QStringLiteral("x.spt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const auto text = SnippetFile::read(file.fileName());
    QVERIFY(text);
    QCOMPARE(text->synopsis, synopsis);
    QCOMPARE(text->body, body);
}

void TestSnippetFile::roundTripThroughFields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("sameBytes");

    QTest::newRow("markup-looking body")
        << QByteArray("include\n#include <vector>\n<b>bold</b> &amp; <i>\n") << true;
    QTest::newRow("body ending in a line feed") << QByteArray("s\nx\n") << true;
    QTest::newRow("Windows line breaks") << QByteArray("s\nline 1\r\nline 2\r\n") << true;
    QTest::newRow("tabs and no-break spaces") << QByteArray("s\n\tx\xC2\xA0y  z\n") << true;
    QTest::newRow("line separator") << QByteArray("s\na\xE2\x80\xA8" "b") << true;
    QTest::newRow("synopsis beyond the line edit's limit")
        << QByteArray(40000, 'x') + QByteArray("\nbody") << true;
    // These are written back as UTF-8: other bytes, the same text.
    QTest::newRow("Windows-1252 text") << QByteArray("na\xEFve \x80\nbody \x96 \xE9\n") << false;
    QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8) << false;
}

void TestSnippetFile::roundTripThroughFields()
{
    // Load into the real widgets, save the untouched fields, load again:
    // the fields must come back exactly.
    QFETCH(QByteArray, bytes);
    QFETCH(bool, sameBytes);
    const QString file = path(QStringLiteral("x.spt"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    QLineEdit synopsis;
    QTextEdit body;
    const auto first = SnippetFile::read(file);
    QVERIFY(first);
    SnippetFields::show(&synopsis, &body, *first);
    QVERIFY(SnippetFile::write(file, SnippetFields::current(&synopsis, &body), nullptr));

    const auto second = SnippetFile::read(file);
    QVERIFY(second);
    QCOMPARE(second->synopsis, first->synopsis);
    QCOMPARE(second->body, first->body);
    if (sameBytes)
        QCOMPARE(bytesOf(file), bytes);
}

void TestSnippetFile::writtenBytes_data()
{
    QTest::addColumn<QString>("synopsis");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("no final line feed added") << "s" << "x" << QByteArray("s\nx");
    QTest::newRow("body with line break") << "s" << "x\n" << QByteArray("s\nx\n");
    QTest::newRow("both empty") << "" << "" << QByteArray("\n");
    QTest::newRow("UTF-8 without BOM") << "\u00e9" << "\u20ac" << QByteArray("\xC3\xA9\n\xE2\x82\xAC");
}

void TestSnippetFile::writtenBytes()
{
    QFETCH(QString, synopsis);
    QFETCH(QString, body);
    QFETCH(QByteArray, bytes);
    const QString file = path(QStringLiteral("w.spt"));
    QVERIFY(SnippetFile::write(file, {synopsis, body}, nullptr));
    QCOMPARE(bytesOf(file), bytes);
}

void TestSnippetFile::shorterSaveLeavesNoTail()
{
    const QString file = path(QStringLiteral("w.spt"));
    QVERIFY(SnippetFile::write(file, {QStringLiteral("long synopsis"), QString(5000, u'x')}, nullptr));
    QVERIFY(SnippetFile::write(file, {QStringLiteral("s"), QStringLiteral("y")}, nullptr));
    QCOMPARE(bytesOf(file), QByteArray("s\ny"));
}

void TestSnippetFile::saveCreatesTheCategoryFolder()
{
    const QString file = path(QStringLiteral("Lang/Cat/alpha.spt"));
    QVERIFY(SnippetFile::write(file, {QStringLiteral("s"), QString()}, nullptr));
    QCOMPARE(bytesOf(file), QByteArray("s\n"));
}

void TestSnippetFile::unopenableFileIsNothing()
{
    QVERIFY(!SnippetFile::read(path(QStringLiteral("missing.spt"))));
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.spt"));
    QVERIFY(!SnippetFile::read(path(QStringLiteral("folder.spt"))));
}

void TestSnippetFile::failedSaveKeepsOldBytes_data()
{
    QTest::addColumn<bool>("sizeLimit");
    QTest::newRow("file-size limit hit mid-write") << true;
    QTest::newRow("folder standing where the file should be") << false;
}

void TestSnippetFile::failedSaveKeepsOldBytes()
{
    QFETCH(bool, sizeLimit);
#ifndef Q_OS_UNIX
    if (sizeLimit)
        QSKIP("Windows has no per-process file-size limit to stop a write half-way");
#endif
    QString file = path(QStringLiteral("keep.spt"));
    const QByteArray old("old synopsis\nold body that must survive");

    if (sizeLimit) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
        f.close();
    } else {
        QVERIFY(QDir().mkpath(file));
        QFile inside(file + QStringLiteral("/content"));
        QVERIFY(inside.open(QIODevice::WriteOnly));
    }

#ifdef Q_OS_UNIX
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (sizeLimit) {
        rlimit limited = saved;
        limited.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
#endif

    QString error;
    const bool saved_ok =
        SnippetFile::write(file, {QStringLiteral("new"), QString(100000, u'n')}, &error);

#ifdef Q_OS_UNIX
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
#endif

    QVERIFY(!saved_ok);
    QVERIFY(!error.isEmpty());
    if (sizeLimit)
        QCOMPARE(bytesOf(file), old);
    else
        QVERIFY(QFileInfo(file).isDir());
    // No temporary file is left behind beside the snippet.
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), sizeLimit ? 1 : 0);
}

QUILLORY_TEST_MAIN(TestSnippetFile)
#include "tst_snippetfile.moc"
