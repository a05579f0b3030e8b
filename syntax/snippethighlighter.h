#pragma once

#include <QSyntaxHighlighter>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

class QPalette;
class QTextDocument;

// Colours the body of a snippet by its language, with one tree-sitter syntax
// tree for the whole text that follows every edit. Only the document's
// layout gets formats: the text, what Save writes and what Copy puts on the
// clipboard stay as they are.
//
// The window's thread never waits for long on it: a parse or a query that
// runs out of a few milliseconds moves to the highlighter's own thread, and
// its colours follow when that thread reports.
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

    // The first and last block numbers on screen; of a large text only
    // those are coloured at once, the rest as they scroll in.
    using VisibleBlocks = std::function<std::pair<int, int>()>;

    SnippetHighlighter(QTextDocument *document, VisibleBlocks visibleBlocks,
                       QObject *parent = nullptr);
    ~SnippetHighlighter() override;

    // Call before the document gets the text in that language ("cpp", see
    // SyntaxLanguage; empty for plain text): the text is then parsed and
    // coloured as it is set. Without a new text, the current one is
    // coloured again when the event loop next runs.
    void setLanguage(const QString &language);
    QString language() const;
    // Whether the language's query is compiled and the text coloured by it.
    bool isReady() const;
    // Colours what came on screen (after a scroll, a resize or a show).
    void restyleVisible();
    // Takes the colours for this palette's base and recolours the text.
    void refreshColours(const QPalette &palette);
    // How often work went to the highlighter's thread because it would
    // have held the window's thread too long (tests and benchmarks).
    int handedToWorker() const;
    // A tiny budget makes any parse or query go to the worker, whatever the
    // machine's speed (tests).
    static void setWindowBudgetForTesting(uint64_t micros);
    // Compiles the queries of these languages now instead of on first use.
    static void prepare(const QStringList &languages);
    // The languages compiled in; none when built without the grammars.
    static QStringList languages();

protected:
    void highlightBlock(const QString &text) override;

private:
    void textChanged(int position, int removed, int added);
    void catchUp();
    // Restyles the blocks from an older pass that are on screen, or all of a
    // small text, in one layout pass.
    void restyle();

    struct Private;
    std::unique_ptr<Private> d;
};
