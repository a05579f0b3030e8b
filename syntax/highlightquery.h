#pragma once

#include "syntax/syntaxtheme.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QVarLengthArray>

#include <tree_sitter/api.h>

#include <atomic>
#include <memory>
#include <vector>

struct Grammar;

// A match of the query as plain numbers: it outlives the tree it came from,
// so a worker can hand it to the window's thread.
struct HighlightMatch
{
    struct Capture
    {
        uint32_t index;
        uint32_t from, to; // UTF-16 units
        uint32_t firstRow, lastRow; // the rows it shows on
    };
    uint32_t pattern;
    QVarLengthArray<Capture, 4> captures;
};

// A grammar's highlight query, compiled, with what tree-sitter leaves to its
// client: the predicates of each pattern and the kind of each capture.
class HighlightQuery
{
public:
    // Compiling takes tens of milliseconds for the larger grammars, so the
    // highlighter has it done on its worker thread; the result is only read
    // afterwards.
    explicit HighlightQuery(const Grammar &grammar);
    ~HighlightQuery();
    HighlightQuery(const HighlightQuery &) = delete;
    HighlightQuery &operator=(const HighlightQuery &) = delete;

    const TSQuery *query() const { return m_query; }
    SyntaxTheme::Kind kindOf(uint32_t capture) const { return m_kinds.value(capture); }
    // Runs the query over rows `firstRow` to `lastRow` of `tree` and appends
    // its matches, unfiltered, to `out`. Stops early after `budgetMicros`
    // (0: none) or once `cancel` is set; returns false then, with the matches
    // found so far. Safe on any thread with a cursor of its own: it runs no
    // regular expression.
    bool collect(TSQueryCursor *cursor, const TSTree *tree, uint32_t firstRow, uint32_t lastRow,
                 uint64_t budgetMicros, const std::atomic<bool> *cancel,
                 std::vector<HighlightMatch> *out) const;
    // Whether a match satisfies its pattern's predicates; `text` is the
    // text it was found in. Runs the predicates' regular expressions, so it
    // belongs to the window's thread: in the Windows build a worker thread
    // that ends owning the expressions' per-thread JIT stack can fault.
    bool accepts(const HighlightMatch &match, const QString &text) const;

    // The compiled query of a grammar, or null when nobody compiled it yet.
    static std::shared_ptr<const HighlightQuery> ready(const Grammar &grammar);
    // Compiles it on the calling thread unless done before.
    static std::shared_ptr<const HighlightQuery> wait(const Grammar &grammar);

private:
    struct Predicate
    {
        enum class Test { Equal, Match, AnyOf } test;
        bool negated;
        uint32_t capture;
        qint64 otherCapture = -1; // #eq? between two captures
        QStringList values;
        QRegularExpression pattern;
    };
    void readPredicates();

    TSQuery *m_query = nullptr;
    QList<SyntaxTheme::Kind> m_kinds;
    QList<QList<Predicate>> m_predicates; // per pattern
};
