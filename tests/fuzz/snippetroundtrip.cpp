// libFuzzer target: any bytes as a snippet file, loaded into the editing
// fields, saved unchanged and loaded again must give the same fields. Edited
// in two places (a character deleted, a letter and a line break typed) and
// saved, it must load again with the lines the fields showed.

#include "library/snippetfile.h"
#include "ui/snippetfields.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QApplication *application = nullptr;
QTemporaryDir *workDir = nullptr;

void removeWorkDir()
{
    delete workDir;
    workDir = nullptr;
}

[[noreturn]] void fail(const char *what, const QString &expected, const QString &actual)
{
    std::fprintf(stderr, "snippet round trip: %s differs\n  expected (%lld): %s\n  actual   (%lld): %s\n",
                 what, static_cast<long long>(expected.size()),
                 expected.toUtf8().toPercentEncoding(" ").constData(),
                 static_cast<long long>(actual.size()),
                 actual.toUtf8().toPercentEncoding(" ").constData());
    std::abort();
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "snippet round trip: %s\n", what);
    std::abort();
}

// The lines as the editor shows them. A line separator of the file next to
// an edit may be taken for a typed one and saved as a line break, so it
// counts as one.
QString shownLines(const QTextEdit &body)
{
    return body.document()
        ->toRawText()
        .replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
        .replace(QChar::LineSeparator, QLatin1Char('\n'));
}

// Never between the halves of a surrogate pair: a lone half cannot be saved.
int positionAt(const QTextEdit &body, int wanted)
{
    const QString text = body.document()->toRawText();
    return wanted > 0 && wanted < text.size() && text.at(wanted - 1).isHighSurrogate() ? wanted + 1
                                                                                      : wanted;
}

} // namespace

// The application lives as long as the fuzzing process, and fontconfig's
// caches behind it are out of the leak checker's sight when it ends.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // QApplication keeps a reference to argc and may rewrite argv; libFuzzer
    // still needs its own.
    static int argc = 1;
    static char name[] = "snippet-roundtrip";
    static char *argv[] = {name, nullptr};
    application = new QApplication(argc, argv);
    workDir = new QTemporaryDir;
    if (!workDir->isValid())
        fail("no temporary folder");
    qAddPostRoutine(removeWorkDir);
    std::atexit(removeWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = workDir->filePath(QStringLiteral("input.spt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
            fail("cannot write the input file");
    }

    const std::optional<SnippetText> loaded = SnippetFile::read(path);
    if (!loaded)
        fail("cannot read the input file");

    // Fresh widgets for every input, so that no input depends on the ones
    // run before it.
    QLineEdit synopsis;
    QTextEdit body;
    SnippetFields fields(&synopsis, &body);
    fields.show(*loaded);

    QString error;
    if (!SnippetFile::write(path, fields.current(), &error))
        fail(qPrintable(QStringLiteral("save failed: ") + error));

    const std::optional<SnippetText> reloaded = SnippetFile::read(path);
    if (!reloaded)
        fail("cannot read the saved file");
    if (reloaded->synopsis != loaded->synopsis)
        fail("synopsis", loaded->synopsis, reloaded->synopsis);
    if (reloaded->body != loaded->body)
        fail("body", loaded->body, reloaded->body);

    if (!body.isReadOnly() && size > 0) {
        const int end = body.document()->characterCount() - 1;
        QTextCursor cursor(body.document());
        cursor.setPosition(positionAt(body, data[0] % (end + 1)));
        cursor.deletePreviousChar();
        cursor.setPosition(positionAt(body, data[size - 1] % body.document()->characterCount()));
        cursor.insertText(QStringLiteral("x\n"));
        if (!SnippetFile::write(path, fields.current(), &error))
            fail(qPrintable(QStringLiteral("save of the edit failed: ") + error));
        const std::optional<SnippetText> edited = SnippetFile::read(path);
        if (!edited)
            fail("cannot read the edited file");
        QTextEdit again;
        again.setPlainText(edited->body);
        if (edited->synopsis != synopsis.text() && !synopsis.isReadOnly())
            fail("edited synopsis", synopsis.text(), edited->synopsis);
        if (shownLines(again) != shownLines(body))
            fail("edited body", shownLines(body), shownLines(again));
    }
    return 0;
}
