#include "testsupport.h"

#include "library/snippetfile.h"
#include "ui/snippetfields.h"

#include <QFile>
#include <QLineEdit>
#include <QTextCursor>
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
    void editedFieldsSave_data();
    void editedFieldsSave();
    void writtenBytes_data();
    void writtenBytes();
    void shorterSaveLeavesNoTail();
    void saveCreatesTheCategoryFolder();
    void filesThatAreNotLoaded_data();
    void filesThatAreNotLoaded();
    void changesByAnotherProgram_data();
    void changesByAnotherProgram();
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
    // Each stray byte is read on its own; the UTF-8 around it stays UTF-8.
    QTest::newRow("UTF-8 with one stray byte")
        << QByteArray("Cr\xC3\xA8me caf\xE9\nna\xC3\xAFve") << "Cr\u00e8me caf\u00e9" << "na\u00efve";
    QTest::newRow("UTF-8 BOM and stray bytes")
        << QByteArray("\xEF\xBB\xBFna\xEFve caf\xE9\n\xE2\x82\xAC \x80") << "na\u00efve caf\u00e9"
        << "\u20ac \u20ac";
    QTest::newRow("overlong form and cut-off sequence are stray bytes")
        << QByteArray("\xC0\xAF\n\xE2\x82") << "\u00c0\u00af" << "\u00e2\u201a";
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
    QTest::newRow("every kind of line break")
        << QByteArray("s\r\na\r\nb\rc\nd\xE2\x80\xA9" "e\xEF\xB7\x90" "f\xEF\xB7\x91\r") << true;
    QTest::newRow("synopsis beyond the line edit's limit")
        << QByteArray(40000, 'x') + QByteArray("\nbody") << true;
    // An unchanged save keeps the bytes of any encoding it reads.
    QTest::newRow("Windows-1252 text") << QByteArray("na\xEFve \x80\nbody \x96 \xE9\n") << true;
    QTest::newRow("UTF-16 with BOM") << QByteArray("\xFF\xFE" "a\0\n\0b\0", 8) << true;
    QTest::newRow("UTF-8 BOM with stray bytes") << QByteArray("\xEF\xBB\xBFna\xEFve caf\xE9") << true;
    QTest::newRow("UTF-8 with one stray byte") << QByteArray("Cr\xC3\xA8me caf\xE9\n") << true;
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
    const SnippetFile::ReadResult loaded = SnippetFile::load(file);
    const auto first = SnippetFile::read(file);
    QVERIFY(first);
    SnippetFields fields(&synopsis, &body);
    fields.show(*first);
    const SnippetFile::Shown shown{file, loaded.status, loaded.stamp};
    QCOMPARE(SnippetFile::save(file, fields.current(), shown, SnippetFile::SaveMode::UnlessChanged).status,
             SnippetFile::SaveStatus::Saved);

    const auto second = SnippetFile::read(file);
    QVERIFY(second);
    QCOMPARE(second->synopsis, first->synopsis);
    QCOMPARE(second->body, first->body);
    if (sameBytes)
        QCOMPARE(bytesOf(file), bytes);
}

void TestSnippetFile::editedFieldsSave_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("pastedInSynopsis");
    // Typed into the body at `at` (-1: its end), where "\n" is Enter, U+2028
    // Shift+Enter and "\b" Backspace.
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("saved");

    const QString shiftEnterX = QStringLiteral("\u2028x");
    QTest::newRow("typed line break") << QByteArray("s\na") << QString() << -1 << shiftEnterX
                                      << QByteArray("s\na\nx");
    QTest::newRow("typed line break, Windows body")
        << QByteArray("s\na\r\nb") << QString() << -1 << shiftEnterX << QByteArray("s\na\r\nb\r\nx");
    // Each break used to start the body early, at the next load.
    // Only a save of unchanged text keeps the stray byte; an edited one is UTF-8.
    QTest::newRow("typed line break, stray byte")
        << QByteArray("caf\xE9\n\xC3\xA8") << QString() << -1 << shiftEnterX
        << QByteArray("caf\xC3\xA9\n\xC3\xA8\nx");
    QTest::newRow("pasted lines in the synopsis")
        << QByteArray("s\nbody") << QStringLiteral("\nb\r\nc\rd\u2028e\u2029f") << -1 << QString()
        << QByteArray("s b c d e f\nbody");
    // What came from the file and was not touched is written back as it came.
    QTest::newRow("line separator kept after an edit elsewhere")
        << QByteArray("s\nt = \"a\xE2\x80\xA8" "b\";\n") << QString() << -1 << QStringLiteral("x")
        << QByteArray("s\nt = \"a\xE2\x80\xA8" "b\";\nx");
    QTest::newRow("line separator kept in the edited line")
        << QByteArray("s\nt = \"a\xE2\x80\xA8" "b\";") << QString() << 0 << QStringLiteral("x")
        << QByteArray("s\nxt = \"a\xE2\x80\xA8" "b\";");
    QTest::newRow("mixed line breaks kept after an edit elsewhere")
        << QByteArray("s\na\r\nb\rc\nd\xE2\x80\xA9" "e") << QString() << -1 << QStringLiteral("x")
        << QByteArray("s\na\r\nb\rc\nd\xE2\x80\xA9" "ex");
    QTest::newRow("synopsis line's CR LF kept")
        << QByteArray("s\r\na\nb") << QString() << -1 << QStringLiteral("x")
        << QByteArray("s\r\na\nbx");
    QTest::newRow("synopsis keeps its own line separator when typed into")
        << QByteArray("a\xE2\x80\xA8" "b\nbody") << QStringLiteral("x") << -1 << QString()
        << QByteArray("a\xE2\x80\xA8" "bx\nbody");
    QTest::newRow("typed line break takes the usual one of a mixed body")
        << QByteArray("s\na\r\nb\nc\r\n") << QString() << 1 << QStringLiteral("\n")
        << QByteArray("s\na\r\n\r\nb\nc\r\n");
    QTest::newRow("typed Shift+Enter is a line feed, the file's own separator stays")
        << QByteArray("s\na\xE2\x80\xA8" "b\n") << QString() << -1 << shiftEnterX
        << QByteArray("s\na\xE2\x80\xA8" "b\n\nx");
    QTest::newRow("typed line break after a Windows synopsis line")
        << QByteArray("s\r\na") << QString() << -1 << QStringLiteral("\nx")
        << QByteArray("s\r\na\r\nx");
    QTest::newRow("typed line break in an old Mac body") << QByteArray("s\na\rb") << QString() << -1
                                                         << QStringLiteral("\nx")
                                                         << QByteArray("s\na\rb\rx");
    // Deleting "b" and its break brings the lone CR next to a line feed,
    // which the next load would read as one break.
    QTest::newRow("lone CR meeting a line feed stays two breaks")
        << QByteArray("s\na\rb\n\nc") << QString() << 4 << QStringLiteral("\b\b")
        << QByteArray("s\na\r\n\nc");
}

void TestSnippetFile::editedFieldsSave()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, pastedInSynopsis);
    QFETCH(int, at);
    QFETCH(QString, typed);
    QFETCH(QByteArray, saved);
    const QString file = path(QStringLiteral("x.spt"));
    QFile original(file);
    QVERIFY(original.open(QIODevice::WriteOnly) && original.write(bytes) == bytes.size());
    original.close();
    const SnippetFile::ReadResult loaded = SnippetFile::load(file);
    QLineEdit synopsis;
    QTextEdit body;
    SnippetFields fields(&synopsis, &body);
    fields.show(loaded.text);

    if (!pastedInSynopsis.isEmpty()) {
        synopsis.end(false);
        synopsis.insert(pastedInSynopsis);
    }
    QTextCursor cursor = body.textCursor();
    if (at < 0)
        cursor.movePosition(QTextCursor::End);
    else
        cursor.setPosition(at);
    body.setTextCursor(cursor);
    for (const QChar c : typed) {
        if (c == QLatin1Char('\n'))
            QTest::keyClick(&body, Qt::Key_Return);
        else if (c == QChar::LineSeparator)
            QTest::keyClick(&body, Qt::Key_Return, Qt::ShiftModifier);
        else if (c == QLatin1Char('\b'))
            QTest::keyClick(&body, Qt::Key_Backspace);
        else
            QTest::keyClicks(&body, QString(c));
    }
    SnippetFile::SaveResult result =
        SnippetFile::save(file, fields.textToSave(), {file, loaded.status, loaded.stamp},
                          SnippetFile::SaveMode::UnlessChanged);
    QCOMPARE(result.status, SnippetFile::SaveStatus::Saved);
    QCOMPARE(bytesOf(file), saved);
    QCOMPARE(synopsis.text(), SnippetFile::read(file)->synopsis);

    // Saved again, the fields still write what they wrote; one more letter
    // at the end changes nothing else.
    fields.markSaved();
    result = SnippetFile::save(file, fields.textToSave(), result.shown,
                               SnippetFile::SaveMode::UnlessChanged);
    QCOMPARE(result.status, SnippetFile::SaveStatus::Saved);
    QCOMPARE(bytesOf(file), saved);
    body.moveCursor(QTextCursor::End);
    QTest::keyClicks(&body, QStringLiteral("y"));
    QCOMPARE(SnippetFile::save(file, fields.textToSave(), result.shown,
                               SnippetFile::SaveMode::UnlessChanged).status,
             SnippetFile::SaveStatus::Saved);
    QCOMPARE(bytesOf(file), saved + "y");
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

void TestSnippetFile::filesThatAreNotLoaded_data()
{
    using S = SnippetFile::ReadStatus;
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<S>("status");

    QTest::newRow("missing") << QByteArray("missing") << S::Missing;
    QTest::newRow("folder") << QByteArray("folder") << S::NotARegularFile;
    QTest::newRow("link to nothing") << QByteArray("broken link") << S::Missing;
    QTest::newRow("one byte over the size limit") << QByteArray("huge") << S::TooLarge;
}

void TestSnippetFile::filesThatAreNotLoaded()
{
    QFETCH(QByteArray, entry);
    QFETCH(SnippetFile::ReadStatus, status);
    const QString file = path(QStringLiteral("x.spt"));
#ifdef Q_OS_WIN
    if (entry == "broken link")
        QSKIP("QFile::link makes a shortcut file on Windows, not a link");
#endif
    if (entry == "folder")
        QVERIFY(QDir().mkpath(file));
    else if (entry == "broken link")
        QVERIFY(QFile::link(path(QStringLiteral("nowhere")), file));
    else if (entry == "huge")
        QVERIFY(QFile(file).open(QIODevice::WriteOnly) && QFile::resize(file, SnippetFile::maximumSize + 1));

    const SnippetFile::ReadResult result = SnippetFile::load(file);
    QCOMPARE(result.status, status);
    QVERIFY(!result.errorString.isEmpty());
    QVERIFY(!SnippetFile::read(file));
}

void TestSnippetFile::changesByAnotherProgram_data()
{
    QTest::addColumn<QByteArray>("change");
    QTest::addColumn<bool>("changed");

    QTest::newRow("none") << QByteArray() << false;
    QTest::newRow("the same bytes saved again later") << QByteArray("touch") << false;
    QTest::newRow("other bytes, same size and time") << QByteArray("same size") << true;
    QTest::newRow("longer") << QByteArray("longer") << true;
    QTest::newRow("deleted: saved again without asking") << QByteArray("delete") << false;
    QTest::newRow("a folder in its place") << QByteArray("folder") << true;
    QTest::newRow("created after a load that found nothing") << QByteArray("create") << true;
}

void TestSnippetFile::changesByAnotherProgram()
{
    QFETCH(QByteArray, change);
    QFETCH(bool, changed);
    const QString file = path(QStringLiteral("x.spt"));
    auto put = [&file](const QByteArray &bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    if (change != "create")
        put("synopsis\nbody\n");
    const SnippetFile::Stamp loaded = SnippetFile::load(file).stamp;
    const QDateTime modified = QFileInfo(file).lastModified();

    if (change == "touch" || change == "same size" || change == "create")
        put(change == "same size" ? "synopsis\nBODY\n" : "synopsis\nbody\n");
    if (change == "touch" || change == "same size") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(change == "touch" ? modified.addSecs(10) : modified,
                              QFileDevice::FileModificationTime));
    }
    if (change == "longer")
        put("synopsis\nbody and more\n");
    if (change == "delete" || change == "folder")
        QVERIFY(QFile::remove(file));
    if (change == "folder")
        QVERIFY(QDir().mkpath(file));

    QCOMPARE(SnippetFile::changedSince(file, loaded), changed);
}

void TestSnippetFile::failedSaveKeepsOldBytes_data()
{
    QTest::addColumn<bool>("sizeLimit");
    QTest::addColumn<int>("bodySize");
    QTest::newRow("file-size limit hit mid-write") << true << 100000;
    // Regression: a text smaller than QSaveFile's buffer failed only when it
    // was flushed, and Qt 6.4 committed the truncated file anyway.
    QTest::newRow("file-size limit hit by the buffered text") << true << 8000;
    QTest::newRow("folder standing where the file should be") << false << 100000;
}

void TestSnippetFile::failedSaveKeepsOldBytes()
{
    QFETCH(bool, sizeLimit);
    QFETCH(int, bodySize);
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
        SnippetFile::write(file, {QStringLiteral("new"), QString(bodySize, u'n')}, &error);

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
