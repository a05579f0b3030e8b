#include "syntax/snippethighlighter.h"

#include "syntax/grammars.h"
#include "syntax/highlightquery.h"
#include "syntax/syntaxtheme.h"

#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QThread>
#include <QTimer>

#include <tree_sitter/api.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

using SyntaxTheme::Kind;

namespace {

// Restyling a whole text (after a palette change, or once a query is ready)
// costs the layout more than linear time; beyond this many characters only
// what is on screen is restyled, the rest as it scrolls in.
constexpr int largestWholeRestyle = 8 * 1024;
// A longer text is parsed on the worker from the start, so that it shows at
// once; its colours follow when the tree is ready.
constexpr int largestParsedAtOnce = 16 * 1024;
// What one parse or one run of the query may take on the window's thread
// before it moves to the worker: a few of them together still stay well
// below what a user notices as a stall.
// Read on the window's thread only.
uint64_t windowBudgetMicros = 8000;
// The worker's query is bounded too: a text whose query does not finish in
// this time keeps the colours found so far, and the worker is free for the
// next edit.
constexpr uint64_t workerQueryBudgetMicros = 3000000;

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

using Tree = std::shared_ptr<TSTree>;

Tree adopt(TSTree *tree)
{
    return tree ? Tree(tree, ts_tree_delete) : Tree();
}

// Trees are not shared between threads, their shallow copies are.
Tree copyOf(const Tree &tree)
{
    return tree ? adopt(ts_tree_copy(tree.get())) : Tree();
}

// The highlighter's own thread, for as long as the highlighter lives: no
// thread of it ends while the window is in use. Jobs run in order.
class Worker : public QThread
{
public:
    Worker()
    {
        static_assert(sizeof(std::atomic<size_t>) == sizeof(size_t)
                      && std::atomic<size_t>::is_always_lock_free);
        ts_parser_set_cancellation_flag(parser, reinterpret_cast<const size_t *>(&cancelParse));
    }
    ~Worker() override
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
            jobs.clear();
        }
        cancelParse = 1;
        cancelQuery = true;
        wake.notify_one();
        wait();
        ts_query_cursor_delete(cursor);
        ts_parser_delete(parser);
    }
    void post(std::function<void()> job)
    {
        if (!isRunning())
            start();
        {
            const std::lock_guard<std::mutex> lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }
    // The text moved on: the job that works for an older one stops.
    void supersede(quint64 version)
    {
        latest = version;
        cancelParse = 1;
        cancelQuery = true;
    }
    // Called by a job first: whether it still matters. The flags are cleared
    // before the check, so a newer text that comes in between is seen
    // either here or by the running parse.
    bool current(quint64 version)
    {
        cancelParse = 0;
        cancelQuery = false;
        return latest == version;
    }

    // Used by the jobs only.
    TSParser *parser = ts_parser_new();
    TSQueryCursor *cursor = ts_query_cursor_new();
    std::atomic<size_t> cancelParse{0};
    std::atomic<bool> cancelQuery{false};

protected:
    void run() override
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [this] { return stopping || !jobs.empty(); });
                if (stopping)
                    return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
    }

private:
    std::atomic<quint64> latest{0};
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    bool stopping = false;
};

} // namespace

struct SnippetHighlighter::Private
{
    Private(SnippetHighlighter *q, VisibleBlocks visible) : q(q), visible(std::move(visible)) {}
    ~Private()
    {
        ts_query_cursor_delete(cursor);
        ts_parser_delete(parser);
    }

    bool setColours(bool darkPalette)
    {
        bool changed = false;
        dark = darkPalette;
        for (int kind = 0; kind < int(Kind::Count); ++kind) {
            const QTextCharFormat format = SyntaxTheme::format(Kind(kind), dark);
            changed = changed || formats[kind] != format;
            formats[kind] = format;
        }
        return changed;
    }
    // Deleting a deep tree takes as long as parsing it: the worker does it.
    void replaceTree(Tree replacement = {})
    {
        if (tree && tree.use_count() == 1)
            worker.post([old = std::move(tree)] {});
        tree = std::move(replacement);
    }
    void newVersion()
    {
        ++version;
        cachedRows.clear();
        worker.supersede(version);
    }
    void parseAll(const QString &documentText)
    {
        text = documentText;
        replaceTree();
        reparse = false;
        queryOnWorker = false;
        newVersion();
        if (!grammar || text.size() > largestHighlightedText)
            return;
        if (text.size() <= largestParsedAtOnce && !parsing) {
            tree = adopt(parse(nullptr));
            if (tree)
                return;
        }
        startWorkerParse();
    }
    // Within the budget, or null.
    TSTree *parse(const TSTree *old)
    {
        ts_parser_set_timeout_micros(parser, windowBudgetMicros);
        TSTree *parsed = ts_parser_parse_string_encoding(
            parser, old, reinterpret_cast<const char *>(text.utf16()), uint32_t(2 * text.size()),
            TSInputEncodingUTF16LE);
        if (!parsed)
            ts_parser_reset(parser); // the next parse is of another text
        return parsed;
    }
    void startWorkerParse()
    {
        if (parsing)
            return; // it was superseded, and starts again when it reports
        parsing = true;
        ++handedToWorker;
        const quint64 of = version;
        const QString copy = text;
        const TSLanguage *language = grammar->language();
        Worker *w = &worker;
        SnippetHighlighter *self = q;
        worker.post([w, self, of, copy, language, old = copyOf(tree)] {
            Tree parsed;
            if (w->current(of)) {
                ts_parser_set_language(w->parser, language);
                parsed = adopt(ts_parser_parse_string_encoding(
                    w->parser, old.get(), reinterpret_cast<const char *>(copy.utf16()),
                    uint32_t(2 * copy.size()), TSInputEncodingUTF16LE));
                if (!parsed)
                    ts_parser_reset(w->parser);
            }
            QMetaObject::invokeMethod(
                self, [self, of, parsed] { self->d->parsed(of, parsed); }, Qt::QueuedConnection);
        });
    }
    void parsed(quint64 of, const Tree &parsed)
    {
        parsing = false;
        const bool wanted = grammar && !reparse && text.size() <= largestHighlightedText;
        if (of == version && parsed && wanted
            && ts_tree_language(parsed.get()) == grammar->language()) {
            replaceTree(parsed);
            cachedRows.clear();
            ++pass;
            q->restyle();
        } else if (of != version && wanted) {
            startWorkerParse();
        } else {
            q->restyle(); // what waited for the tree goes plain
        }
    }
    void startWorkerQuery(uint32_t firstRow, uint32_t lastRow)
    {
        if (querying)
            return; // what is still missing is asked for when it reports
        querying = true;
        ++handedToWorker;
        const quint64 of = version;
        Worker *w = &worker;
        SnippetHighlighter *self = q;
        worker.post([w, self, of, firstRow, lastRow, copy = copyOf(tree), query = query] {
            auto matches = std::make_shared<std::vector<HighlightMatch>>();
            if (w->current(of)) {
                query->collect(w->cursor, copy.get(), firstRow, lastRow, workerQueryBudgetMicros,
                               &w->cancelQuery, matches.get());
            }
            QMetaObject::invokeMethod(
                self,
                [self, of, firstRow, lastRow, matches] {
                    self->d->queried(of, firstRow, lastRow, *matches);
                },
                Qt::QueuedConnection);
        });
    }
    void queried(quint64 of, uint32_t firstRow, uint32_t lastRow,
                 const std::vector<HighlightMatch> &matches)
    {
        querying = false;
        if (of == version && tree && query)
            cacheRows(firstRow, lastRow, matches);
        q->restyle();
    }
    void startWorkerCompile(const Grammar *wanted)
    {
        ++compiling;
        SnippetHighlighter *self = q;
        worker.post([self, wanted] {
            HighlightQuery::wait(*wanted);
            QMetaObject::invokeMethod(
                self, [self, wanted] { self->d->compiled(wanted); }, Qt::QueuedConnection);
        });
    }
    void compiled(const Grammar *compiledFor)
    {
        --compiling;
        if (compiledFor != grammar || query)
            return;
        query = HighlightQuery::ready(*grammar);
        ++pass;
        q->restyle();
    }

    // Puts the colours of the rows into the cache, or has the worker find
    // them when the query runs out of its budget here; false then.
    bool queryRows(uint32_t firstRow, uint32_t lastRow)
    {
        std::vector<HighlightMatch> matches;
        if (queryOnWorker
            || !query->collect(cursor, tree.get(), firstRow, lastRow, windowBudgetMicros, nullptr,
                               &matches)) {
            queryOnWorker = true;
            startWorkerQuery(firstRow, lastRow);
            return false;
        }
        cacheRows(firstRow, lastRow, matches);
        return true;
    }
    void cacheRows(uint32_t firstRow, uint32_t lastRow, const std::vector<HighlightMatch> &matches)
    {
        cachedFirstRow = firstRow;
        cachedRows.assign(lastRow - firstRow + 1, {});
        for (const HighlightMatch &match : matches) {
            if (!query->accepts(match, text))
                continue;
            for (const HighlightMatch::Capture &capture : match.captures) {
                const Span span{capture.from, capture.to, match.pattern,
                                query->kindOf(capture.index)};
                const uint32_t first = std::max(capture.firstRow, firstRow);
                const uint32_t last = std::min(capture.lastRow, lastRow);
                for (uint32_t row = first; row <= last && row >= first; ++row)
                    cachedRows[row - firstRow].push_back(span);
            }
        }
        // Outer nodes first, so that inner ones paint over them. On the same
        // stretch the later pattern wins, as in tree-sitter's own
        // highlighter: the queries put general patterns first and refine
        // them below.
        for (std::vector<Span> &spans : cachedRows) {
            std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) {
                if (a.from != b.from)
                    return a.from < b.from;
                if (a.to != b.to)
                    return a.to > b.to;
                return a.pattern < b.pattern;
            });
        }
    }
    bool cached(uint32_t row) const
    {
        return row >= cachedFirstRow && row - cachedFirstRow < cachedRows.size();
    }
    // The formats of a block, or none while its colours are not known yet.
    std::optional<QList<QTextLayout::FormatRange>> formatsFor(const QTextBlock &block)
    {
        QList<QTextLayout::FormatRange> ranges;
        const int length = block.length() - 1;
        if (!grammar)
            return ranges;
        if (parsing || !query)
            return std::nullopt;
        if (!tree || length > longestHighlightedLine || !query->query())
            return ranges;
        const uint32_t row = uint32_t(block.blockNumber());
        if (!cached(row)) {
            // Consecutive requests, as from a pass over a whole text, get
            // longer stretches.
            const bool next = !cachedRows.empty() && row == cachedFirstRow + cachedRows.size();
            window = next ? std::min<uint32_t>(2 * window, 4096) : 16;
            if (!queryRows(row, row + window - 1))
                return std::nullopt;
        }
        const uint32_t start = uint32_t(block.position());
        std::vector<int> kinds(size_t(length), int(Kind::Plain));
        for (const Span &span : cachedRows[row - cachedFirstRow]) {
            const uint32_t from = std::max(span.from, start);
            const uint32_t to = std::min(span.to, start + uint32_t(length));
            if (from < to)
                std::fill(kinds.begin() + (from - start), kinds.begin() + (to - start),
                          int(span.kind));
        }
        for (int i = 0; i < length;) {
            const int kind = kinds[size_t(i)];
            int end = i + 1;
            while (end < length && kinds[size_t(end)] == kind)
                ++end;
            if (kind != int(Kind::Plain))
                ranges.append({i, end - i, formats[kind]});
            i = end;
        }
        return ranges;
    }

    SnippetHighlighter *q;
    VisibleBlocks visible;
    QString language;
    const Grammar *grammar = nullptr;
    std::shared_ptr<const HighlightQuery> query;
    TSParser *parser = ts_parser_new();
    TSQueryCursor *cursor = ts_query_cursor_new();
    Tree tree;
    QString text; // as parsed
    quint64 version = 0;
    bool reparse = false; // the language changed under the text
    bool restyling = false;
    bool dark = false;
    QTextCharFormat formats[int(Kind::Count)];
    int pass = 0;
    QList<std::pair<qsizetype, qsizetype>> changedBeyondEdit;
    QTimer catchUp;
    bool parsing = false; // on the worker
    bool querying = false; // on the worker
    int compiling = 0; // on the worker
    bool queryOnWorker = false; // the query ran out of its budget here on this text
    int handedToWorker = 0;
    struct Span
    {
        uint32_t from, to, pattern;
        Kind kind;
    };
    uint32_t cachedFirstRow = 0, window = 16;
    std::vector<std::vector<Span>> cachedRows;
    Worker worker; // last: stopped first
};

SnippetHighlighter::SnippetHighlighter(QTextDocument *document, VisibleBlocks visibleBlocks,
                                       QObject *parent)
    : QSyntaxHighlighter(parent)
    , d(std::make_unique<Private>(this, std::move(visibleBlocks)))
{
    d->text = asParsed(document->toRawText());
    // Connected before the base class connects its own slot in
    // setDocument(), so that the tree is current when highlightBlock() runs.
    connect(document, &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { textChanged(position, removed, added); });
    setDocument(document);
    d->setColours(false);
    d->catchUp.setSingleShot(true);
    connect(&d->catchUp, &QTimer::timeout, this, [this] { catchUp(); });
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
    d->replaceTree();
    d->cachedRows.clear();
    if (d->grammar) {
        ts_parser_set_language(d->parser, d->grammar->language());
        d->query = HighlightQuery::ready(*d->grammar);
        if (!d->query)
            d->startWorkerCompile(d->grammar);
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
    return d->grammar && d->query && !d->reparse && !d->catchUp.isActive() && !d->parsing
        && !d->querying;
}

void SnippetHighlighter::restyleVisible()
{
    restyle();
}

void SnippetHighlighter::refreshColours(const QPalette &palette)
{
    if (d->setColours(SyntaxTheme::isDark(palette))) {
        ++d->pass;
        restyle();
    }
}

void SnippetHighlighter::setWindowBudgetForTesting(uint64_t micros)
{
    windowBudgetMicros = micros;
}

int SnippetHighlighter::handedToWorker() const
{
    return d->handedToWorker;
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
    d->newVersion();
    if (d->text.size() > largestHighlightedText) {
        d->replaceTree();
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
    ts_tree_edit(d->tree.get(), &edit);
    TSTree *edited = d->parsing ? nullptr : d->parse(d->tree.get());
    if (!edited) {
        // The worker parses the edited tree; until it reports, the edited
        // blocks wait for their colours.
        d->startWorkerParse();
        return;
    }
    uint32_t count = 0;
    TSRange *ranges = ts_tree_get_changed_ranges(d->tree.get(), edited, &count);
    for (uint32_t i = 0; i < count; ++i)
        d->changedBeyondEdit.append({ranges[i].start_byte / 2, ranges[i].end_byte / 2});
    std::free(ranges);
    d->replaceTree(adopt(edited));
    // The base class restyles the edited blocks right after this; what the
    // edit changed further on (a string opened above it) follows at once.
    if (!d->changedBeyondEdit.isEmpty())
        d->catchUp.start();
}

void SnippetHighlighter::catchUp()
{
    if (d->reparse) {
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
    restyle();
}

void SnippetHighlighter::restyle()
{
    QTextDocument *doc = document();
    if (!doc || d->restyling)
        return;
    QTextBlock first = doc->firstBlock(), last = doc->lastBlock();
    if (doc->characterCount() > largestWholeRestyle && d->visible) {
        const auto [top, bottom] = d->visible();
        first = doc->findBlockByNumber(std::max(top, 0));
        if (bottom < top || !first.isValid())
            return;
        last = doc->findBlockByNumber(bottom);
        if (!last.isValid())
            last = doc->lastBlock();
    }
    while (passOf(first) == d->pass && first != last)
        first = first.next();
    while (passOf(last) == d->pass && last != first)
        last = last.previous();
    if (passOf(first) == d->pass)
        return;

    // One query for the whole stretch, then one layout of it: a layout per
    // block costs a pass over the whole document each.
    const uint32_t firstRow = uint32_t(first.blockNumber()), lastRow = uint32_t(last.blockNumber());
    if (d->grammar && d->tree && d->query && d->query->query() && !d->parsing
        && !(d->cached(firstRow) && d->cached(lastRow)))
        d->queryRows(firstRow, lastRow);
    d->restyling = true;
    int from = -1, to = -1;
    for (QTextBlock block = first;; block = block.next()) {
        QTextLayout *layout = block.layout();
        if (passOf(block) != d->pass && layout && layout->preeditAreaText().isEmpty()) {
            if (const auto ranges = d->formatsFor(block)) {
                if (layout->formats() != *ranges) {
                    layout->setFormats(*ranges);
                    from = from < 0 ? block.position() : from;
                    to = block.position() + block.length();
                }
                auto *styled = static_cast<StyledBy *>(block.userData());
                if (!styled)
                    block.setUserData(styled = new StyledBy);
                styled->pass = d->pass;
            }
        }
        if (block == last)
            break;
    }
    if (from >= 0)
        doc->markContentsDirty(from, to - from);
    d->restyling = false;
}

void SnippetHighlighter::highlightBlock(const QString &)
{
    auto *styled = static_cast<StyledBy *>(currentBlockUserData());
    if (!styled)
        setCurrentBlockUserData(styled = new StyledBy);
    const auto ranges = d->formatsFor(currentBlock());
    styled->pass = ranges ? d->pass : -1;
    if (ranges) {
        for (const QTextLayout::FormatRange &range : *ranges)
            setFormat(range.start, range.length, range.format);
    }
}
