#include "bench/highlightbench.h"

#include "library/snippetfile.h"
#include "syntax/snippethighlighter.h"
#include "syntax/syntaxlanguage.h"
#include "tests/testsupport.h"
#include "ui/codeedit.h"
#include "ui/mainwindow.h"
#include "ui/snippetfields.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>

#include <algorithm>
#include <memory>

using namespace SynthLibrary;

namespace {

// C++ as snippets hold it: comments, strings, templates, loops, of about
// `size` bytes, cut at a line end.
QByteArray cppText(const QString &synopsis, qsizetype size)
{
    static const char chunk[] =
        "// Sums the weights of the rows that pass the filter.\n"
        "template <typename Row>\n"
        "double weigh(const std::vector<Row> &rows, const Filter &filter)\n"
        "{\n"
        "    double total = 0.0;\n"
        "    for (std::size_t i = 0; i < rows.size(); ++i) {\n"
        "        if (!filter.accepts(rows[i]))\n"
        "            continue;\n"
        "        total += rows[i].weight * 0.5; /* halved, see below */\n"
        "    }\n"
        "    std::printf(\"%s: %f\\n\", \"total\", total);\n"
        "    return total;\n"
        "}\n\n";
    QByteArray text = synopsis.toUtf8() + '\n';
    while (text.size() < size)
        text += chunk;
    text.truncate(text.lastIndexOf('\n', size - 1) + 1);
    return text;
}

// Texts that once held the window for seconds: a long file of ordinary
// Python, and nesting as deep as the snippet limit allows (in lines of a
// hundred: one line of them all costs the editor's own layout far more than
// any highlighting).
QByteArray pythonText(qsizetype size)
{
    QByteArray text = "long\n";
    for (int i = 0; text.size() < size; ++i)
        text += "def step_" + QByteArray::number(i)
            + "(rows, limit=10):\n    # keeps the first rows\n"
              "    return [r for r in rows if r.size < limit]\n\n";
    return text;
}

QByteArray nestedText(char opening, int count)
{
    return "nested\nclass A {\n" + (QByteArray(100, opening) + '\n').repeated(count / 100);
}

// A body editor with the window's load path, with or without a highlighter.
struct Body
{
    explicit Body(bool highlighted)
    {
        editor.resize(800, 600);
        editor.show();
        if (highlighted)
            highlighter = attachHighlighter(&editor);
    }
    void load(const QString &path, const QString &languageFolder)
    {
        const auto text = SnippetFile::read(path);
        expect(bool(text), "a benchmark snippet reads");
        if (highlighter)
            highlighter->setLanguage(
                SyntaxLanguage::forSnippet(languageFolder, QFileInfo(path).completeBaseName()));
        if (text)
            fields.show(*text);
    }

    QLineEdit synopsis;
    QTextEdit editor;
    SnippetHighlighter *highlighter = nullptr;
    SnippetFields fields{&synopsis, &editor};
};

// The longest the window's thread stays busy from `action` until the
// highlighter has coloured what it shows (without one: for a while after).
qint64 longestStretch(Body &body, const std::function<void(Body &)> &action)
{
    QElapsedTimer stretch;
    stretch.start();
    action(body);
    qint64 longest = stretch.nsecsElapsed();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        stretch.start();
        QCoreApplication::processEvents();
        longest = std::max(longest, stretch.nsecsElapsed());
        const bool done = body.highlighter ? body.highlighter->isReady() : waited.elapsed() > 200;
        if (done || waited.elapsed() > 60000)
            break;
        QThread::msleep(1);
    }
    expect(!body.highlighter || body.highlighter->isReady(), "a heavy text gets its colours");
    return longest;
}

struct HighlightRunner
{
    HighlightRunner(const Scale &scale, Libraries &libraries, Recorder &recorder);

    QList<Row> rows;
    std::function<void(int)> run;

    Libraries &libraries;
    Recorder &rec;
    std::unique_ptr<Body> ours, plain;
    std::unique_ptr<QWidget> made;
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    expect(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(),
           "a benchmark snippet is written");
}

HighlightRunner::HighlightRunner(const Scale &scale, Libraries &libraries, Recorder &recorder)
    : libraries(libraries), rec(recorder)
{
    // A library of its own: the same snippets under a C++ folder and under
    // a folder no grammar is chosen by.
    const QString library = libraries.stored(QStringLiteral("highlight"));
    const qsizetype large = scale.textSizes.size() > 1 ? 100 * 1024 : 8 * 1024;
    for (const QString &folder : {QStringLiteral("C++"), QStringLiteral("Notes")}) {
        const QString category = library + QLatin1Char('/') + folder + QStringLiteral("/Default/");
        writeFile(category + QStringLiteral("a.spt"), cppText(QStringLiteral("a"), 2048));
        writeFile(category + QStringLiteral("b.spt"), cppText(QStringLiteral("b"), 2048));
        writeFile(category + QStringLiteral("large.spt"), cppText(QStringLiteral("large"), large));
    }
    const bool full = scale.textSizes.size() > 1;
    const QString python = QStringLiteral("Python"), csharp = QStringLiteral("C#");
    writeFile(library + QStringLiteral("/Python/Default/long.spt"),
              pythonText(full ? 230 * 1024 : 23 * 1024));
    writeFile(library + QStringLiteral("/C#/Default/nested.spt"),
              nestedText('{', full ? 200000 : 20000));
    const auto file = [library](const QString &folder, const QString &name) {
        return library + QLatin1Char('/') + folder + QStringLiteral("/Default/") + name
            + QStringLiteral(".spt");
    };
    SnippetHighlighter::prepare(
        {QStringLiteral("cpp"), QStringLiteral("python"), QStringLiteral("c_sharp")});
    ours = std::make_unique<Body>(true);
    plain = std::make_unique<Body>(false);
    const QString cpp = QStringLiteral("C++");
    const QString largeLabel = sizeLabel(large);

    struct Action
    {
        Row row;
        std::function<void(Body &)> prepare, measured;
    };
    const QList<Action> actions = {
        {{QStringLiteral("hl-switch"),
          QStringLiteral("switch snippet, 2 KB C++ (read and show)"), 1.3},
         [=](Body &body) { body.load(file(cpp, QStringLiteral("a")), cpp); },
         [=](Body &body) { body.load(file(cpp, QStringLiteral("b")), cpp); }},
        {{QStringLiteral("hl-load"), QStringLiteral("load %1 C++").arg(largeLabel), 3.0},
         [=](Body &body) { body.load(file(cpp, QStringLiteral("a")), cpp); },
         [=](Body &body) { body.load(file(cpp, QStringLiteral("large")), cpp); }},
        // Typed into the middle of the text, with the catch-up that follows
        // in the event loop.
        {{QStringLiteral("hl-key"),
          QStringLiteral("keystroke in the middle of %1 C++ (at most 16 ms)").arg(largeLabel), 0},
         [=](Body &body) {
             body.load(file(cpp, QStringLiteral("large")), cpp);
             QCoreApplication::processEvents();
             QTextCursor cursor(body.editor.document());
             cursor.setPosition(body.editor.document()->characterCount() / 2);
             cursor.movePosition(QTextCursor::EndOfBlock);
             body.editor.setTextCursor(cursor);
             body.editor.ensureCursorVisible();
             QCoreApplication::processEvents();
         },
         [](Body &body) {
             body.editor.textCursor().insertText(QStringLiteral("x"));
             QCoreApplication::processEvents();
         }},
    };
    for (const Action &action : actions)
        rows.append(action.row);
    // The longest stretch of the window's thread, each beside the same work
    // in an editor without a highlighter.
    struct Heavy
    {
        Row row;
        QString path, folder;
        std::function<void(Body &)> measured;
    };
    const QList<Heavy> heavy = {
        {{QStringLiteral("hl-end"),
          QStringLiteral("longest stall: Ctrl+End in %1 of Python (at most 50 ms)")
              .arg(full ? QStringLiteral("230 KB") : QStringLiteral("23 KB")),
          0},
         file(python, QStringLiteral("long")), python,
         [](Body &body) {
             body.editor.moveCursor(QTextCursor::End);
             body.editor.ensureCursorVisible();
         }},
        {{QStringLiteral("hl-nested"),
          QStringLiteral("longest stall: a keystroke after %1 { in C# (at most 50 ms)")
              .arg(full ? 200000 : 20000),
          0},
         file(csharp, QStringLiteral("nested")), csharp,
         [](Body &body) {
             body.editor.moveCursor(QTextCursor::End);
             body.editor.textCursor().insertText(QStringLiteral("x"));
         }},
    };
    for (const Heavy &action : heavy)
        rows.append(action.row);
    // Start-up on a C++ snippet against the same start-up on the same text
    // in a plain folder; the library holds little, so the difference is the
    // highlighting.
    rows.append({QStringLiteral("hl-startup"),
                  QStringLiteral("start-up, 2 KB C++ snippet current (at most 10 ms more)"), 0});

    run = [this, actions, heavy, cpp](int) {
        for (const Side side : {Side::Ours, Side::Floor}) {
            Body &body = side == Side::Ours ? *ours : *plain;
            for (const Action &action : actions) {
                action.prepare(body);
                QCoreApplication::processEvents();
                rec.start(action.row.key, side);
                action.measured(body);
                rec.stop();
            }
            for (const Heavy &action : heavy) {
                body.load(action.path, action.folder);
                longestStretch(body, [](Body &) {});
                rec.add(action.row.key, side, longestStretch(body, action.measured));
            }
        }
        this->libraries.activate(QStringLiteral("highlight"));
        for (const Side side : {Side::Ours, Side::Floor}) {
            TestSupport::remember(side == Side::Ours ? cpp : QStringLiteral("Notes"),
                                  QStringLiteral("Default"), QStringLiteral("a"));
            rec.start(QStringLiteral("hl-startup"), side);
            made = std::make_unique<MainWindow>();
            rec.stop();
            QCoreApplication::processEvents();
            made.reset();
        }
        this->libraries.deactivate();
    };
}

} // namespace

Section highlightActions(const Scale &scale, Libraries &libraries, Recorder &recorder)
{
    auto runner = std::make_shared<HighlightRunner>(scale, libraries, recorder);
    return {runner->rows, [runner](int run) { runner->run(run); }};
}
