#pragma once

#include <QSyntaxHighlighter>

#include <memory>

class QTextEdit;

// Colours the body of a snippet by its language, with one tree-sitter syntax
// tree for the whole text that follows every edit. Only the editor's layout
// gets formats: the text, what Save writes and what Copy puts on the
// clipboard stay as they are.
class SnippetHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    // Lines longer than this stay plain: the layout of a line costs more the
    // longer it is, and a generated line is rarely worth reading in colour.
    static constexpr int longestHighlightedLine = 10000;
    // A longer text is not highlighted at all: parsing and colouring it would
    // keep the window from showing it.
    static constexpr int largestHighlightedText = 256 * 1024;

    explicit SnippetHighlighter(QTextEdit *editor);
    ~SnippetHighlighter() override;

    // Call before the editor gets the text in that language ("cpp", see
    // SyntaxLanguage; empty for plain text): the text is then parsed and
    // coloured as it is set. Without a new text, the current one is
    // coloured again when the event loop next runs.
    void setLanguage(const QString &language);
    QString language() const;
    // Whether the language's query is compiled and the text coloured by it.
    bool isReady() const;
    // Compiles the queries of these languages now instead of on first use.
    static void prepare(const QStringList &languages);
    // The languages compiled in; none when built without the grammars.
    static QStringList languages();

protected:
    void highlightBlock(const QString &text) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void textChanged(int position, int removed, int added);
    void catchUp();
    // Restyles the blocks from an older pass: on screen, or all of a small
    // text; `everything` after a change of colours or language.
    void restyle(bool everything);

    struct Private;
    std::unique_ptr<Private> d;
};
