#include "syntax/snippethighlighter.h"

#include "syntax/grammars.h"
#include "syntax/highlightquery.h"
#include "syntax/syntaxtheme.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <tree_sitter/api.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <vector>

using SyntaxTheme::Kind;

namespace {

// Restyling a whole text (after a palette change, or once a query is ready)
// costs the editor's layout more than linear time; beyond this many
// characters only what is on screen is restyled, the rest as it scrolls in.
constexpr int largestWholeRestyle = 8 * 1024;
// A longer text is parsed on a worker thread, so that it shows at once; its
// colours follow when the tree is ready.
constexpr int largestParsedAtOnce = 16 * 1024;

const Grammar *grammarNamed(const QString &id)
{
    for (int i = 0; i < grammarCount; ++i) {
        if (id == QLatin1String(grammars[i].id))
            return &grammars[i];
    }
    return nullptr;
}

// Which colouring pass styled a block; a block from an older pass is
// restyled when it is on screen.
struct StyledBy : QTextBlockUserData
{
    int pass = -1;
};

int passOf(const QTextBlock &block)
{
    const auto *styled = static_cast<const StyledBy *>(block.userData());
    return styled ? styled->pass : -1;
}

// The parser reads the text as UTF-16 and counts rows by line feeds, where
// the document has a paragraph separator between blocks: positions and
// rows then match the document's own.
QString asParsed(QString text)
{
    std::replace(text.begin(), text.end(), QChar(QChar::ParagraphSeparator), QChar(u'\n'));
    return text;
}

// Where `point` ends up after `length` characters of `text` from `from`.
TSPoint advance(TSPoint point, const QString &text, qsizetype from, qsizetype length)
{
    const qsizetype lastBreak = length > 0 ? text.lastIndexOf(QLatin1Char('\n'), from + length - 1)
                                           : -1;
    if (lastBreak < from)
        return {point.row, point.column + uint32_t(2 * length)};
    const auto breaks = QStringView(text).mid(from, length).count(QLatin1Char('\n'));
    return {point.row + uint32_t(breaks), uint32_t(2 * (from + length - lastBreak - 1))};
}

} // namespace

struct SnippetHighlighter::Private
{
    explicit Private(QTextEdit *editor) : editor(editor) {}
    ~Private()
    {
        if (parsing.valid())
            ts_tree_delete(parsing.get());
        if (tree)
            ts_tree_delete(tree);
        ts_query_cursor_delete(cursor);
        ts_parser_delete(parser);
    }

    void setColours(bool darkPalette)
    {
        dark = darkPalette;
        for (int kind = 0; kind < int(Kind::Count); ++kind)
            formats[kind] = SyntaxTheme::format(Kind(kind), dark);
    }
    void parseAll(const QString &documentText)
    {
        text = documentText;
        dropTree();
        reparse = false;
        ++version;
        if (!grammar || text.size() > largestHighlightedText)
            return;
        if (text.size() <= largestParsedAtOnce)
            tree = parse(nullptr);
        else if (!parsing.valid())
            startParsing();
        // else the running parse is for an older text, and starts again
    }
    void startParsing()
    {
        parsedVersion = version;
        const QString copy = text;
        const TSLanguage *language = grammar->language();
        parsing = std::async(std::launch::async, [copy, language] {
            TSParser *own = ts_parser_new();
            ts_parser_set_language(own, language);
            TSTree *parsed = ts_parser_parse_string_encoding(
                own, nullptr, reinterpret_cast<const char *>(copy.utf16()),
                uint32_t(2 * copy.size()), TSInputEncodingUTF16LE);
            ts_parser_delete(own);
            return parsed;
        });
        parsePoll.start();
    }
    // Runs the query once for a stretch of rows and keeps its captures by
    // row: one run serves many consecutive blocks. Consecutive requests,
    // as from a pass over a whole text, get longer stretches.
    void queryRows(uint32_t row)
    {
        const bool next = !cachedRows.empty() && row == cachedFirstRow + cachedRows.size();
        window = next ? std::min<uint32_t>(2 * window, 4096) : 16;
        cachedFirstRow = row;
        cachedRows.assign(window, {});
        ts_query_cursor_set_point_range(cursor, {row, 0}, {row + window, 0});
        ts_query_cursor_exec(cursor, query->query(), ts_tree_root_node(tree));
        const auto nodeText = [this](TSNode node) {
            const uint32_t from = ts_node_start_byte(node) / 2;
            return text.mid(from, ts_node_end_byte(node) / 2 - from);
        };
        TSQueryMatch match;
        while (ts_query_cursor_next_match(cursor, &match)) {
            if (!query->accepts(match, nodeText))
                continue;
            for (uint16_t i = 0; i < match.capture_count; ++i) {
                const TSNode node = match.captures[i].node;
                const Span span{ts_node_start_byte(node) / 2, ts_node_end_byte(node) / 2,
                                match.pattern_index, query->kindOf(match.captures[i].index)};
                const TSPoint end = ts_node_end_point(node);
                const uint32_t first = std::max(ts_node_start_point(node).row, row);
                const uint32_t last = std::min(end.row - (end.column == 0 && end.row > 0 ? 1 : 0),
                                               row + window - 1);
                for (uint32_t r = first; r <= last && r >= first; ++r)
                    cachedRows[r - row].push_back(span);
            }
        }
    }
    TSTree *parse(TSTree *old)
    {
        return ts_parser_parse_string_encoding(parser, old,
                                               reinterpret_cast<const char *>(text.utf16()),
                                               uint32_t(2 * text.size()), TSInputEncodingUTF16LE);
    }
    void dropTree()
    {
        if (tree)
            ts_tree_delete(tree);
        tree = nullptr;
        cachedRows.clear();
    }

    QTextEdit *editor;
    QString language;
    const Grammar *grammar = nullptr;
    std::shared_ptr<const HighlightQuery> query;
    TSParser *parser = ts_parser_new();
    TSQueryCursor *cursor = ts_query_cursor_new();
    TSTree *tree = nullptr;
    QString text; // as parsed
    bool reparse = false; // the language changed under the text
    bool restyling = false;
    bool dark = false;
    QTextCharFormat formats[int(Kind::Count)];
    int pass = 0;
    QList<std::pair<qsizetype, qsizetype>> changedBeyondEdit;
    QTimer catchUp;
    QTimer queryPoll;
    std::future<TSTree *> parsing;
    quint64 version = 0, parsedVersion = 0;
    QTimer parsePoll;
    struct Span
    {
        uint32_t from, to, pattern;
        Kind kind;
    };
    uint32_t cachedFirstRow = 0, window = 16;
    std::vector<std::vector<Span>> cachedRows;
};

SnippetHighlighter::SnippetHighlighter(QTextEdit *editor)
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr))
    , d(std::make_unique<Private>(editor))
{
    QTextDocument *document = editor->document();
    d->text = asParsed(document->toRawText());
    // Connected before the base class connects its own slot in
    // setDocument(), so that the tree is current when highlightBlock() runs.
    connect(document, &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { textChanged(position, removed, added); });
    setDocument(document);
    setParent(editor);

    d->setColours(SyntaxTheme::isDark(editor->palette()));
    editor->installEventFilter(this);
    connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { restyle(false); });
    d->catchUp.setSingleShot(true);
    connect(&d->catchUp, &QTimer::timeout, this, [this] { catchUp(); });
    d->queryPoll.setInterval(5);
    connect(&d->queryPoll, &QTimer::timeout, this, [this] {
        if (!d->grammar) {
            d->queryPoll.stop();
        } else if ((d->query = HighlightQuery::ready(*d->grammar))) {
            d->queryPoll.stop();
            ++d->pass;
            restyle(true);
        }
    });
    d->parsePoll.setInterval(2);
    connect(&d->parsePoll, &QTimer::timeout, this, [this] {
        using namespace std::chrono_literals;
        if (d->parsing.wait_for(0s) != std::future_status::ready)
            return;
        TSTree *parsed = d->parsing.get();
        const bool current = d->parsedVersion == d->version && d->grammar && !d->reparse
            && ts_tree_language(parsed) == d->grammar->language();
        if (!current) {
            ts_tree_delete(parsed);
            if (d->grammar && !d->reparse && d->text.size() > largestParsedAtOnce
                && d->text.size() <= largestHighlightedText)
                d->startParsing();
            else
                d->parsePoll.stop();
            return;
        }
        d->parsePoll.stop();
        d->dropTree();
        d->tree = parsed;
        ++d->pass;
        restyle(true);
    });
}

SnippetHighlighter::~SnippetHighlighter()
{
    // ~QSyntaxHighlighter clears the formats of every block, which the
    // document reports as a change of its whole text: nothing of this class
    // may still be listening by then.
    if (QTextDocument *doc = document()) {
        disconnect(doc, nullptr, this, nullptr);
        setDocument(nullptr);
    }
}

void SnippetHighlighter::setLanguage(const QString &language)
{
    if (language == d->language)
        return;
    d->language = language;
    d->grammar = grammarNamed(language);
    d->query.reset();
    d->dropTree();
    if (d->grammar) {
        ts_parser_set_language(d->parser, d->grammar->language());
        d->query = HighlightQuery::ready(*d->grammar);
        if (!d->query)
            d->queryPoll.start();
    }
    // Usually a new text follows at once and is parsed as it comes in.
    d->reparse = true;
    d->catchUp.start();
}

QString SnippetHighlighter::language() const
{
    return d->language;
}

bool SnippetHighlighter::isReady() const
{
    return d->grammar && d->query && !d->reparse && !d->catchUp.isActive()
        && !d->queryPoll.isActive() && !d->parsing.valid();
}

void SnippetHighlighter::prepare(const QStringList &languages)
{
    for (const QString &language : languages) {
        if (const Grammar *grammar = grammarNamed(language))
            HighlightQuery::wait(*grammar);
    }
}

QStringList SnippetHighlighter::languages()
{
    QStringList ids;
    for (int i = 0; i < grammarCount; ++i)
        ids.append(QString::fromLatin1(grammars[i].id));
    return ids;
}

void SnippetHighlighter::textChanged(int position, int removed, int added)
{
    if (d->restyling)
        return;
    QTextDocument *doc = document();
    const qsizetype oldSize = d->text.size();
    const qsizetype newSize = doc->characterCount() - 1;
    const bool whole = position == 0 && added >= newSize;
    // Qt may count the final paragraph separator in either number.
    position = int(std::min<qsizetype>(position, std::min(oldSize, newSize)));
    const qsizetype gone = std::min<qsizetype>(removed, oldSize - position);
    const qsizetype came = std::min<qsizetype>(added, newSize - position);
    if (!d->grammar) {
        d->reparse = d->reparse && !whole;
        return;
    }
    if (d->reparse || !d->tree || whole || oldSize - gone + came != newSize) {
        d->parseAll(asParsed(doc->toRawText()));
        // Only the edited blocks get the base class's pass.
        if (!whole) {
            ++d->pass;
            d->catchUp.start();
        }
        return;
    }

    QTextCursor inserted(doc);
    inserted.setPosition(position);
    inserted.setPosition(int(position + came), QTextCursor::KeepAnchor);
    const QString now = asParsed(inserted.selectedText());
    if (gone == came && QStringView(d->text).mid(position, gone) == now)
        return; // formats only
    const QString old = d->text.mid(position, gone);
    d->text.replace(position, gone, now);
    ++d->version;
    if (d->text.size() > largestHighlightedText) {
        d->dropTree();
        ++d->pass; // the colours left on screen go as the blocks are restyled
        d->catchUp.start();
        return;
    }

    const QTextBlock block = doc->findBlock(position);
    TSInputEdit edit;
    edit.start_byte = uint32_t(2 * position);
    edit.old_end_byte = uint32_t(2 * (position + gone));
    edit.new_end_byte = uint32_t(2 * (position + came));
    edit.start_point = {uint32_t(block.blockNumber()), uint32_t(2 * (position - block.position()))};
    edit.old_end_point = advance(edit.start_point, old, 0, gone);
    edit.new_end_point = advance(edit.start_point, now, 0, came);
    ts_tree_edit(d->tree, &edit);
    TSTree *edited = d->parse(d->tree);
    uint32_t count = 0;
    TSRange *ranges = ts_tree_get_changed_ranges(d->tree, edited, &count);
    for (uint32_t i = 0; i < count; ++i)
        d->changedBeyondEdit.append({ranges[i].start_byte / 2, ranges[i].end_byte / 2});
    std::free(ranges);
    d->dropTree();
    d->tree = edited;
    // The base class restyles the edited blocks right after this; what the
    // edit changed further on (a string opened above it) follows at once.
    if (!d->changedBeyondEdit.isEmpty())
        d->catchUp.start();
}

void SnippetHighlighter::catchUp()
{
    const bool languageChanged = d->reparse;
    if (languageChanged) {
        d->parseAll(asParsed(document()->toRawText()));
        ++d->pass;
    }
    for (const auto &[from, to] : std::as_const(d->changedBeyondEdit)) {
        for (QTextBlock block = document()->findBlock(int(from));
             block.isValid() && block.position() <= to; block = block.next()) {
            if (auto *styled = static_cast<StyledBy *>(block.userData()))
                styled->pass = -1;
        }
    }
    d->changedBeyondEdit.clear();
    restyle(languageChanged);
}

void SnippetHighlighter::restyle(bool everything)
{
    QTextDocument *doc = document();
    if (!doc || (!d->grammar && !everything))
        return;
    const bool small = doc->characterCount() <= largestWholeRestyle;
    d->restyling = true;
    if (everything && small) {
        rehighlight();
    } else {
        QTextBlock first = doc->firstBlock(), last = doc->lastBlock();
        if (!small) {
            // Walked up from the bottom: below the laid-out part of a text
            // the editor lays out lazily, a hit test finds nothing useful.
            last = d->editor->cursorForPosition(d->editor->viewport()->rect().bottomRight()).block();
            const int top = d->editor->verticalScrollBar()->value();
            QAbstractTextDocumentLayout *layout = doc->documentLayout();
            first = last;
            while (first.previous().isValid()
                   && layout->blockBoundingRect(first.previous()).bottom() >= top)
                first = first.previous();
        }
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            if (passOf(block) != d->pass)
                rehighlightBlock(block);
            if (block == last)
                break;
        }
    }
    d->restyling = false;
}

void SnippetHighlighter::highlightBlock(const QString &text)
{
    if (!d->grammar)
        return;
    auto *styled = static_cast<StyledBy *>(currentBlockUserData());
    if (!styled)
        setCurrentBlockUserData(styled = new StyledBy);
    styled->pass = d->pass;
    if (!d->tree || text.size() > longestHighlightedLine)
        return;
    if (!d->query) {
        styled->pass = -1; // coloured once the query is compiled
        return;
    }
    if (!d->query->query())
        return;

    const QTextBlock block = currentBlock();
    const uint32_t row = uint32_t(block.blockNumber());
    if (row < d->cachedFirstRow || row >= d->cachedFirstRow + d->cachedRows.size())
        d->queryRows(row);
    auto &spans = d->cachedRows[row - d->cachedFirstRow];
    // Outer nodes first, so that inner ones paint over them. On the same
    // stretch the later pattern wins, as in tree-sitter's own highlighter:
    // the queries put general patterns first and refine them below.
    std::sort(spans.begin(), spans.end(), [](const Private::Span &a, const Private::Span &b) {
        if (a.from != b.from)
            return a.from < b.from;
        if (a.to != b.to)
            return a.to > b.to;
        return a.pattern < b.pattern;
    });
    const uint32_t start = uint32_t(block.position());
    const uint32_t end = start + uint32_t(text.size());
    for (const Private::Span &span : spans) {
        const uint32_t from = std::max(span.from, start), to = std::min(span.to, end);
        if (from < to)
            setFormat(int(from - start), int(to - from), d->formats[int(span.kind)]);
    }
}

bool SnippetHighlighter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->editor) {
        if (event->type() == QEvent::PaletteChange) {
            const bool dark = SyntaxTheme::isDark(d->editor->palette());
            if (dark != d->dark) {
                d->setColours(dark);
                ++d->pass;
                restyle(true);
            }
        } else if (event->type() == QEvent::Resize || event->type() == QEvent::Show) {
            restyle(false);
        }
    }
    return QSyntaxHighlighter::eventFilter(watched, event);
}
