#include "testsupport.h"

#include "library/snippetfile.h"
#include "syntax/snippethighlighter.h"
#include "syntax/syntaxlanguage.h"
#include "syntax/syntaxtheme.h"
#include "ui/codeedit.h"
#include "ui/mainwindow.h"
#include "ui/snippetfields.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPointer>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

using SyntaxTheme::Kind;

Q_DECLARE_METATYPE(SyntaxTheme::Kind)

// Highlighting: which grammar a snippet gets, what it colours, and what it
// must leave alone.
class TestSyntax : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void languageChoice_data();
    void languageChoice();
    void tokenKinds_data();
    void tokenKinds();
    void editsRecolourWhatFollows_data();
    void editsRecolourWhatFollows();
    void guards_data();
    void guards();
    void heavyInputsLeaveTheWindowFree_data();
    void heavyInputsLeaveTheWindowFree();
    void randomEditsMatchAFreshColouring_data();
    void randomEditsMatchAFreshColouring();
    void teardownInEitherOrder_data();
    void teardownInEitherOrder();
    void textStaysAsRead_data();
    void textStaysAsRead();
    void windowColoursByLanguageFolder_data();
    void windowColoursByLanguageFolder();

private:
    bool compiledIn() const { return !SnippetHighlighter::languages().isEmpty(); }
};

namespace {

// The kind whose colours the character at `position` of the editor shows.
Kind kindAt(const QTextEdit &editor, int position, bool dark = false)
{
    const QTextBlock block = editor.document()->findBlock(position);
    QTextCharFormat shown;
    for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
        const int offset = position - block.position();
        if (offset >= range.start && offset < range.start + range.length)
            shown = range.format;
    }
    for (int kind = 0; kind < int(Kind::Count); ++kind) {
        if (SyntaxTheme::format(Kind(kind), dark) == shown)
            return Kind(kind);
    }
    return Kind::Count; // colours of neither palette
}

int positionOf(const QTextEdit &editor, const QString &token)
{
    return int(editor.document()->toPlainText().indexOf(token));
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0xd4, 0xd4, 0xd4));
    return palette;
}

// An editor whose highlighter is ready for `language` and has coloured `text`.
struct Highlighted
{
    Highlighted(const QString &language, const QString &text)
    {
        SnippetHighlighter::prepare({language});
        highlighter = attachHighlighter(&editor);
        highlighter->setLanguage(language);
        editor.setPlainText(text);
    }
    QTextEdit editor;
    SnippetHighlighter *highlighter;
};

} // namespace

void TestSyntax::init()
{
    TestSupport::resetHome();
    QSettings().clear();
}

void TestSyntax::cleanup()
{
    QCOMPARE(QApplication::topLevelWidgets(), QWidgetList());
}

void TestSyntax::languageChoice_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("snippet");
    QTest::addColumn<QString>("language");

    const auto row = [](const char *name, const char *folder, const char *snippet,
                        const char *language) {
        QTest::newRow(name) << QString::fromUtf8(folder) << QString::fromUtf8(snippet)
                            << QString::fromLatin1(language);
    };
    row("C++", "C++", "loop", "cpp");
    row("cpp, any case", "CPP", "loop", "cpp");
    row("C", "C", "loop", "c");
    row("Python", "Python", "loop", "python");
    row("js", "js", "loop", "javascript");
    row("ts", "TS", "loop", "typescript");
    row("Shell", "Shell", "loop", "bash");
    row("sh", "sh", "loop", "bash");
    row("JSON", "JSON", "loop", "json");
    row("golang", "golang", "loop", "go");
    row("Rust", "Rust", "loop", "rust");
    row("Java", "Java", "loop", "java");
    row("C#", "C#", "loop", "c_sharp");
    row("cs", "cs", "loop", "c_sharp");
    row("spaces around the name", " Python ", "loop", "python");
    row("extension wins over the folder", "Python", "deploy.sh", "bash");
    row("extension in Default", "Default", "query.json", "json");
    row("extension in any case", "Default", "Main.JAVA", "java");
    row("header in a C++ folder", "C++", "vector.h", "cpp");
    row("header elsewhere", "Default", "list.h", "c");
    row("unknown extension keeps the folder's", "Go", "v1.2", "go");
    row("leading dot is no extension", "Default", ".bashrc", "");
    row("unknown folder", "Markdown", "notes", "");
    row("Default", "Default", "notes", "");
    row("a category-like name is no language", "Java Script", "x", "");
}

void TestSyntax::languageChoice()
{
    QFETCH(QString, folder);
    QFETCH(QString, snippet);
    QFETCH(QString, language);
    QCOMPARE(SyntaxLanguage::forSnippet(folder, snippet), language);
    if (!language.isEmpty() && compiledIn())
        QVERIFY(SnippetHighlighter::languages().contains(language));
}

void TestSyntax::tokenKinds_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("token");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("dark");

    const QString cpp = QStringLiteral("#include <vector>\n// note\nint main() {\n"
                                       "    auto slot = \"hi\\n\";\n    return 42;\n}\n");
    QTest::newRow("cpp keyword") << "cpp" << cpp << "return" << Kind::Keyword << false;
    QTest::newRow("cpp type") << "cpp" << cpp << "int" << Kind::Type << false;
    QTest::newRow("cpp function") << "cpp" << cpp << "main" << Kind::Function << false;
    QTest::newRow("cpp string") << "cpp" << cpp << "\"hi" << Kind::String << false;
    QTest::newRow("cpp number") << "cpp" << cpp << "42" << Kind::Number << false;
    QTest::newRow("cpp comment") << "cpp" << cpp << "// note" << Kind::Comment << false;
    QTest::newRow("cpp plain identifier") << "cpp" << cpp << "slot" << Kind::Plain << false;
    QTest::newRow("cpp after palette turns dark") << "cpp" << cpp << "return" << Kind::Keyword
                                                  << true;
    // Beyond a whole restyle's size only the screen is restyled at once.
    QTest::newRow("large cpp after palette turns dark")
        << "cpp" << QString(cpp).append(QString(9000, QLatin1Char('\n'))) << "return"
        << Kind::Keyword << true;

    const QString python = QStringLiteral("def greet(x):\n    \"\"\"Doc.\"\"\"\n"
                                          "    return 'a' + 17  # why\n");
    QTest::newRow("python def") << "python" << python << "def" << Kind::Keyword << false;
    QTest::newRow("python function") << "python" << python << "greet" << Kind::Function << false;
    QTest::newRow("python string") << "python" << python << "'a'" << Kind::String << false;
    QTest::newRow("python comment") << "python" << python << "# why" << Kind::Comment << false;
    QTest::newRow("python number") << "python" << python << "17" << Kind::Number << false;
    QTest::newRow("python parsed on the worker")
        << "python" << python.repeated(1000) << "greet" << Kind::Function << false;
    QTest::newRow("python escape inside a string")
        << "python" << QStringLiteral("s = 'a\\tb'\n") << "\\t" << Kind::Escape << false;

    const QString bash = QStringLiteral("# setup\nif [ -n \"$HOME\" ]; then\n  echo \"hi there\"\nfi\n");
    QTest::newRow("bash comment") << "bash" << bash << "# setup" << Kind::Comment << false;
    QTest::newRow("bash keyword") << "bash" << bash << "then" << Kind::Keyword << false;
    QTest::newRow("bash command") << "bash" << bash << "echo" << Kind::Function << false;
    QTest::newRow("bash string") << "bash" << bash << "\"hi there\"" << Kind::String << false;

    const QString json = QStringLiteral("{\n  \"name\": \"x\",\n  \"n\": 12,\n  \"on\": true\n}\n");
    // The query's later, general (string) pattern wins over its key pattern.
    QTest::newRow("json key") << "json" << json << "\"name\"" << Kind::String << false;
    QTest::newRow("json string") << "json" << json << "\"x\"" << Kind::String << false;
    QTest::newRow("json number") << "json" << json << "12" << Kind::Number << false;
    QTest::newRow("json constant") << "json" << json << "true" << Kind::Constant << false;

    // Astral characters are two UTF-16 units: what follows must not shift.
    QTest::newRow("after astral characters")
        << "python" << QStringLiteral("s = '\U0001F600\U0001F600'; return_ = 1\nimport os\n")
        << "import" << Kind::Keyword << false;
}

void TestSyntax::tokenKinds()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, token);
    QFETCH(Kind, kind);
    QFETCH(bool, dark);

    Highlighted h(language, text);
    h.editor.resize(400, 300);
    h.editor.show();
    QTRY_VERIFY(h.highlighter->isReady());
    const int at = positionOf(h.editor, token);
    QVERIFY(at >= 0);
    if (dark) {
        QCOMPARE(kindAt(h.editor, at), kind);
        h.editor.setPalette(darkPalette());
    }
    QTRY_COMPARE(kindAt(h.editor, at, dark), kind);
    QCOMPARE(kindAt(h.editor, at + int(token.size()) - 1, dark), kind);
}

void TestSyntax::editsRecolourWhatFollows_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("opening");
    QTest::addColumn<QString>("later");
    QTest::addColumn<Kind>("whileOpen");
    QTest::addColumn<Kind>("afterClose");

    // The text holds the closing half further on: an unclosed opening is
    // an error that tree-sitter keeps local.
    QTest::newRow("cpp block comment")
        << "cpp" << "int a = 1;\n\nint b = 2;\nreturn b; // */\n" << "/*" << "return"
        << Kind::Comment << Kind::Keyword;
    QTest::newRow("javascript template string")
        << "javascript" << "let a = 1;\nlet b = 2;\nreturn b; // `\n" << "`" << "return"
        << Kind::String << Kind::Keyword;
    QTest::newRow("python triple quote")
        << "python" << "a = 1\nb = 2\nreturn b  # \"\"\"\n" << "\"\"\"" << "return"
        << Kind::String << Kind::Keyword;
}

void TestSyntax::editsRecolourWhatFollows()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, opening);
    QFETCH(QString, later);
    QFETCH(Kind, whileOpen);
    QFETCH(Kind, afterClose);

    Highlighted h(language, text);
    QTRY_VERIFY(h.highlighter->isReady());
    QCOMPARE(kindAt(h.editor, positionOf(h.editor, later)), afterClose);

    // Typed at the start of the first line, as a user would.
    QTextCursor cursor(h.editor.document());
    cursor.insertText(opening);
    QTRY_COMPARE(kindAt(h.editor, positionOf(h.editor, later)), whileOpen);
    for (qsizetype i = 0; i < opening.size(); ++i)
        cursor.deletePreviousChar();
    QTRY_COMPARE(kindAt(h.editor, positionOf(h.editor, later)), afterClose);
    QCOMPARE(h.editor.toPlainText(), text);
}

void TestSyntax::guards_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("padding"); // characters of other lines after it
    QTest::addColumn<bool>("lineColoured");
    QTest::addColumn<bool>("restColoured");

    const int longest = SnippetHighlighter::longestHighlightedLine;
    const int largest = SnippetHighlighter::largestHighlightedText;
    QTest::newRow("line at the bound") << longest << 0 << true << true;
    QTest::newRow("line over the bound stays plain") << longest + 1 << 0 << false << true;
    QTest::newRow("text at the bound") << 100 << largest - 200 << true << true;
    QTest::newRow("text over the bound stays plain") << 100 << largest << false << false;
}

void TestSyntax::guards()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(int, lineLength);
    QFETCH(int, padding);
    QFETCH(bool, lineColoured);
    QFETCH(bool, restColoured);

    // A comment line, then a short line, then blank lines.
    const QString line = QStringLiteral("//") + QString(lineLength - 2, QLatin1Char('x'));
    const QString text = line + QStringLiteral("\nreturn 2;\n") + QString(padding, QLatin1Char('\n'));
    Highlighted h(QStringLiteral("cpp"), text);
    h.editor.resize(400, 300);
    h.editor.show();
    QTRY_VERIFY(h.highlighter->isReady());
    QCOMPARE(kindAt(h.editor, 0) == Kind::Comment, lineColoured);
    QCOMPARE(kindAt(h.editor, lineLength + 1) == Kind::Keyword, restColoured);
}

void TestSyntax::heavyInputsLeaveTheWindowFree_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed"); // then typed at the end; empty: Ctrl+End only
    QTest::addColumn<QString>("token"); // coloured as `kind` once all is done
    QTest::addColumn<Kind>("kind");

    QString python;
    for (int i = 0; python.size() < 230 * 1024; ++i)
        python += QStringLiteral("def step_%1(rows, limit=10):\n    # keeps the first rows\n"
                                 "    return [r for r in rows if r.size < limit]  # %1\n\n")
                      .arg(i);
    QTest::newRow("230 KB of Python, Ctrl+End")
        << "python" << python << "" << QStringLiteral("return") << Kind::Keyword;
    // In lines of a hundred: one line of them all costs the editor's own
    // layout far more than any highlighting.
    const auto lines = [](char c, int count) {
        return (QString(100, QLatin1Char(c)) + QLatin1Char('\n')).repeated(count / 100);
    };
    QTest::newRow("200,000 braces in C#, one keystroke")
        << "c_sharp" << QStringLiteral("class A {\n") + lines('{', 200000)
        << "x" << QStringLiteral("class") << Kind::Keyword;
    QTest::newRow("100,000 parentheses in C++, one keystroke")
        << "cpp" << QStringLiteral("return f") + lines('(', 100000) << "x"
        << QStringLiteral("return") << Kind::Keyword;
}

void TestSyntax::heavyInputsLeaveTheWindowFree()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(QString, token);
    QFETCH(Kind, kind);

    Highlighted h(language, QString());
    h.editor.resize(400, 300);
    h.editor.show();
    h.editor.setPlainText(text);
    QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 60000);
    QTest::keyClick(&h.editor, Qt::Key_End, Qt::ControlModifier);
    const int handed = h.highlighter->handedToWorker();
    if (!typed.isEmpty()) {
        // Whether a keystroke here outruns the real budget depends on the
        // machine; past a budget of a microsecond, the parse or the query
        // of the keystroke must go to the worker, and the colours still
        // come back.
        SnippetHighlighter::setWindowBudgetForTesting(1);
        const auto restore = qScopeGuard([] { SnippetHighlighter::setWindowBudgetForTesting(8000); });
        QTest::keyClicks(&h.editor, typed);
        QVERIFY(h.highlighter->handedToWorker() > handed);
        QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 60000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 60000);
    // Only what is on screen: a scroll bar that lags behind the growing
    // layout once made that thousands of blocks.
    const QTextBlock above =
        h.editor.document()->findBlockByNumber(h.editor.document()->blockCount() * 3 / 4);
    QVERIFY(above.layout()->formats().isEmpty());

    // What comes on screen is styled in one pass: a layout per block costs
    // a pass over the whole document each.
    QSignalSpy layouts(h.editor.document()->documentLayout(),
                       &QAbstractTextDocumentLayout::update);
    QScrollBar *scroll = h.editor.verticalScrollBar();
    scroll->setValue(scroll->value() - scroll->pageStep());
    QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 60000);
    QVERIFY2(layouts.count() <= 2, qPrintable(QString::number(layouts.count())));
    scroll->setValue(0);
    QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 60000);
    QTRY_COMPARE(kindAt(h.editor, positionOf(h.editor, token)), kind);
}

void TestSyntax::randomEditsMatchAFreshColouring_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("seed");

    const QString cpp = QStringLiteral("#include <map>\n// counts\nint main() {\n"
                                       "    auto s = \"a\\tb\"; /* note */\n"
                                       "    for (int i = 0; i < 3; ++i) { return 'c'; }\n}\n");
    const QString python = QStringLiteral("def f(x):\n    \"\"\"Doc.\"\"\"\n"
                                          "    return [x, 'y', 2]  # why\n\nclass A:\n    pass\n");
    const QString javascript = QStringLiteral("const a = `t${1}`;\nfunction g(b) {\n"
                                              "  return b ? 'x' : /re/g; // c\n}\n");
    QTest::newRow("cpp") << "cpp" << cpp.repeated(20) << 1u;
    QTest::newRow("cpp, other edits") << "cpp" << cpp.repeated(20) << 7u;
    QTest::newRow("python") << "python" << python.repeated(20) << 2u;
    QTest::newRow("javascript") << "javascript" << javascript.repeated(20) << 3u;
    // Parsed on the worker at first, with edits that overtake it.
    QTest::newRow("cpp, parsed on the worker") << "cpp" << cpp.repeated(150) << 4u;
}

void TestSyntax::randomEditsMatchAFreshColouring()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(quint32, seed);

    static const char *const pieces[] = {"/*", "*/", "\"", "'", "`", "\n", "{", "}", "(",
                                         ")", "return ", "x", "#", "//", "\"\"\"", " "};
    Highlighted h(language, text);
    h.editor.resize(400, 300);
    h.editor.show();
    QRandomGenerator random(seed);
    for (int edit = 0; edit < 60; ++edit) {
        QTextCursor cursor(h.editor.document());
        // Near the top, which stays on screen.
        cursor.setPosition(random.bounded(std::min(h.editor.document()->characterCount(), 600)));
        if (random.bounded(3) == 0) {
            cursor.setPosition(std::min(cursor.position() + random.bounded(1, 6),
                                        h.editor.document()->characterCount() - 1),
                               QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            cursor.insertText(QString::fromLatin1(pieces[random.bounded(int(std::size(pieces)))]));
        }
        // Now and then the event loop catches up, as between keystrokes.
        if (random.bounded(4) == 0)
            QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 20000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(h.highlighter->isReady(), 20000);

    Highlighted fresh(language, h.editor.toPlainText());
    fresh.editor.resize(400, 300);
    fresh.editor.show();
    QTRY_VERIFY_WITH_TIMEOUT(fresh.highlighter->isReady(), 20000);
    const int shown = h.editor.cursorForPosition(h.editor.viewport()->rect().bottomRight())
                          .block().position();
    const QString now = h.editor.toPlainText();
    for (int at = 0; at < shown; ++at) {
        QVERIFY2(kindAt(h.editor, at) == kindAt(fresh.editor, at),
                 qPrintable(QStringLiteral("at %1 in: %2").arg(at).arg(now.left(shown))));
    }
}

void TestSyntax::teardownInEitherOrder_data()
{
    QTest::addColumn<bool>("highlighterFirst");
    QTest::addColumn<bool>("editAfterwards");
    QTest::addColumn<int>("repeats"); // of three short lines
    QTest::addColumn<bool>("waitForColours");

    // Deleting the highlighter clears the formats of every block, which
    // the document reports as a change of all its text: a subclass still
    // listening then ran half-destroyed.
    QTest::newRow("highlighter deleted, then the text edited") << true << true << 50 << true;
    QTest::newRow("highlighter deleted with its editor") << false << false << 50 << true;
    // Its worker thread still parses, and reports to nobody.
    QTest::newRow("highlighter deleted while its worker parses") << true << true << 4000 << false;
    QTest::newRow("editor deleted while the worker parses") << false << false << 4000 << false;
}

void TestSyntax::teardownInEitherOrder()
{
    if (!compiledIn())
        QSKIP("built without the grammars");
    QFETCH(bool, highlighterFirst);
    QFETCH(bool, editAfterwards);
    QFETCH(int, repeats);
    QFETCH(bool, waitForColours);

    auto *editor = new QTextEdit;
    SnippetHighlighter::prepare({QStringLiteral("cpp")});
    QPointer<SnippetHighlighter> highlighter = attachHighlighter(editor);
    highlighter->setLanguage(QStringLiteral("cpp"));
    editor->setPlainText(QStringLiteral("int a = 1;\n/* x */\nreturn \"s\";\n").repeated(repeats));
    if (waitForColours)
        QTRY_VERIFY(highlighter->isReady());
    else
        QVERIFY(highlighter->handedToWorker() > 0);
    const QString text = editor->toPlainText();
    if (highlighterFirst)
        delete highlighter;
    if (editAfterwards)
        QTextCursor(editor->document()).insertText(QStringLiteral("/*"));
    QCOMPARE(editor->toPlainText().endsWith(text), true);
    delete editor;
    QVERIFY(!highlighter);
    QTest::qWait(50); // a report that was on its way must find nothing
}

void TestSyntax::textStaysAsRead_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("cpp with Windows line breaks")
        << "cpp" << QByteArray("s\nfor (int i = 0; i < n; ++i) {\r\n\tf(\"x\");\r\n}\r\n");
    QTest::newRow("python with tabs and no-break spaces")
        << "python" << QByteArray("s\ndef f():\n\treturn '\xC2\xA0'  # \xE2\x82\xAC\n");
    QTest::newRow("bash with astral characters and no final line break")
        << "bash" << QByteArray("s\necho \"\xF0\x9F\x98\x80\" # \xF0\x9F\x98\x80");
    QTest::newRow("json with a line separator")
        << "json" << QByteArray("s\n{\"a\": \"b\xE2\x80\xA8\"}\n");
}

void TestSyntax::textStaysAsRead()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, bytes);
    TestSupport::writeFile(QStringLiteral("x.spt"), bytes);
    const QString file = TestSupport::lib(QStringLiteral("x.spt"));

    QLineEdit synopsis;
    QTextEdit body;
    SnippetHighlighter::prepare({language});
    auto *highlighter = attachHighlighter(&body);
    highlighter->setLanguage(language);
    SnippetFields fields(&synopsis, &body);
    const auto read = SnippetFile::read(file);
    QVERIFY(read);
    fields.show(*read);
    QTRY_VERIFY(highlighter->isReady() || !compiledIn());
    QVERIFY(SnippetFile::write(file, fields.current(), nullptr));
    QCOMPARE(TestSupport::readFile(QStringLiteral("x.spt")), bytes);

    // Copy carries the text, not the colours.
    body.selectAll();
    body.copy();
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied);
    QCOMPARE(copied->text(), body.toPlainText());
    const QString html = copied->html();
    for (int kind = 1; kind < int(Kind::Count); ++kind) {
        const QString colour = SyntaxTheme::format(Kind(kind), false).foreground().color().name();
        QVERIFY2(!html.contains(colour, Qt::CaseInsensitive), qPrintable(colour));
    }
}

void TestSyntax::windowColoursByLanguageFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("snippet");
    QTest::addColumn<Kind>("kindOfReturn");

    QTest::newRow("C++ folder") << "C++" << "loop" << Kind::Keyword;
    QTest::newRow("plain folder") << "Notes" << "loop" << Kind::Plain;
    QTest::newRow("plain folder, Python snippet") << "Notes" << "loop.py" << Kind::Keyword;
}

void TestSyntax::windowColoursByLanguageFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, snippet);
    QFETCH(Kind, kindOfReturn);
    if (!compiledIn() && kindOfReturn != Kind::Plain)
        QSKIP("built without the grammars");
    TestSupport::writeFile(folder + QStringLiteral("/Default/") + snippet + QStringLiteral(".spt"),
                           "synopsis\nreturn 1;\n");
    TestSupport::writeFile(QStringLiteral("C++/Default/other.spt"), "s\nint x;\n");
    TestSupport::remember(folder, QStringLiteral("Default"), snippet);
    SnippetHighlighter::prepare(SnippetHighlighter::languages());

    MainWindow window;
    auto *body = window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));
    QCOMPARE(body->toPlainText(), QStringLiteral("return 1;\n"));
    auto *highlighter = body->findChild<SnippetHighlighter *>();
    QVERIFY(highlighter);
    QTRY_VERIFY(highlighter->isReady() || kindOfReturn == Kind::Plain);
    QCOMPARE(kindAt(*body, 0), kindOfReturn);
}

QUILLORY_TEST_MAIN(TestSyntax)
#include "tst_syntax.moc"
