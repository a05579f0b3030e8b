#pragma once

#include "syntax/syntaxtheme.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>

#include <tree_sitter/api.h>

#include <memory>

struct Grammar;

// A grammar's highlight query, compiled, with what tree-sitter leaves to its
// client: the predicates of each pattern and the kind of each capture.
class HighlightQuery
{
public:
    // Compiling takes tens of milliseconds for the larger grammars, so it
    // runs on a worker thread; the result is only read afterwards.
    explicit HighlightQuery(const Grammar &grammar);
    ~HighlightQuery();
    HighlightQuery(const HighlightQuery &) = delete;
    HighlightQuery &operator=(const HighlightQuery &) = delete;

    const TSQuery *query() const { return m_query; }
    SyntaxTheme::Kind kindOf(uint32_t capture) const { return m_kinds.value(capture); }
    // Whether a match satisfies its pattern's predicates; `text` gives the
    // text of a node.
    template <typename NodeText>
    bool accepts(const TSQueryMatch &match, NodeText &&text) const;

    // The compiled query of a grammar, started on a worker thread the first
    // time it is asked for; null until it is ready.
    static std::shared_ptr<const HighlightQuery> ready(const Grammar &grammar);
    // Waits for it (tests and benchmarks).
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

template <typename NodeText>
bool HighlightQuery::accepts(const TSQueryMatch &match, NodeText &&text) const
{
    const auto captured = [&match, &text](uint32_t index, QString *out) {
        for (uint16_t i = 0; i < match.capture_count; ++i) {
            if (match.captures[i].index == index) {
                *out = text(match.captures[i].node);
                return true;
            }
        }
        return false;
    };
    for (const Predicate &p : m_predicates.value(match.pattern_index)) {
        QString value;
        if (!captured(p.capture, &value))
            continue;
        bool holds = false;
        switch (p.test) {
        case Predicate::Test::Equal:
            if (p.otherCapture >= 0) {
                QString other;
                holds = captured(uint32_t(p.otherCapture), &other) && other == value;
            } else {
                holds = value == p.values.value(0);
            }
            break;
        case Predicate::Test::Match:
            holds = p.pattern.match(value).hasMatch();
            break;
        case Predicate::Test::AnyOf:
            holds = p.values.contains(value);
            break;
        }
        if (holds == p.negated)
            return false;
    }
    return true;
}
