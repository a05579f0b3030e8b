#include "syntax/highlightquery.h"

#include "syntax/grammars.h"

#include <QHash>

#include <chrono>
#include <cstring>
#include <mutex>

namespace {

QString fromUtf8(const char *text, uint32_t length)
{
    return QString::fromUtf8(text, qsizetype(length));
}

} // namespace

HighlightQuery::HighlightQuery(const Grammar &grammar)
{
    uint32_t errorOffset = 0;
    TSQueryError error = TSQueryErrorNone;
    m_query = ts_query_new(grammar.language(), grammar.highlights,
                           uint32_t(std::strlen(grammar.highlights)), &errorOffset, &error);
    if (!m_query) {
        qWarning("The highlight query of %s does not compile (error %d at %u): its snippets "
                 "stay plain.",
                 grammar.id, int(error), errorOffset);
        return;
    }
    const uint32_t captures = ts_query_capture_count(m_query);
    for (uint32_t i = 0; i < captures; ++i) {
        uint32_t length = 0;
        const char *name = ts_query_capture_name_for_id(m_query, i, &length);
        m_kinds.append(SyntaxTheme::kindOf(fromUtf8(name, length)));
    }
    readPredicates();
}

HighlightQuery::~HighlightQuery()
{
    if (m_query)
        ts_query_delete(m_query);
}

void HighlightQuery::readPredicates()
{
    const uint32_t patterns = ts_query_pattern_count(m_query);
    m_predicates.resize(patterns);
    for (uint32_t pattern = 0; pattern < patterns; ++pattern) {
        uint32_t count = 0;
        const TSQueryPredicateStep *steps = ts_query_predicates_for_pattern(m_query, pattern, &count);
        // Each predicate: its name, its arguments, a Done step.
        for (uint32_t start = 0; start < count;) {
            uint32_t end = start;
            while (end < count && steps[end].type != TSQueryPredicateStepTypeDone)
                ++end;
            const TSQueryPredicateStep *step = steps + start;
            const uint32_t arguments = end - start;
            start = end + 1;
            if (arguments < 3 || step[0].type != TSQueryPredicateStepTypeString
                || step[1].type != TSQueryPredicateStepTypeCapture)
                continue; // not a test of a capture: #set! and the like
            uint32_t length = 0;
            const char *raw = ts_query_string_value_for_id(m_query, step[0].value_id, &length);
            QString name = fromUtf8(raw, length);
            Predicate predicate{Predicate::Test::Equal, name.startsWith(QLatin1String("not-")),
                                step[1].value_id, -1, {}, {}};
            if (predicate.negated)
                name.remove(0, 4);
            for (uint32_t i = 2; i < arguments; ++i) {
                if (step[i].type == TSQueryPredicateStepTypeCapture) {
                    predicate.otherCapture = step[i].value_id;
                } else {
                    raw = ts_query_string_value_for_id(m_query, step[i].value_id, &length);
                    predicate.values.append(fromUtf8(raw, length));
                }
            }
            if (name == QLatin1String("eq?")) {
                predicate.test = Predicate::Test::Equal;
            } else if (name == QLatin1String("any-of?")) {
                predicate.test = Predicate::Test::AnyOf;
            } else if (name == QLatin1String("match?")) {
                predicate.test = Predicate::Test::Match;
                // Checked here, but not optimised: the JIT compiles on first
                // use, on the window's thread, where it is matched.
                predicate.pattern.setPattern(predicate.values.value(0));
                if (!predicate.pattern.isValid())
                    continue;
            } else {
                continue; // #is-not? local and other scope tests: not tracked here
            }
            m_predicates[pattern].append(predicate);
        }
    }
}

bool HighlightQuery::collect(TSQueryCursor *cursor, const TSTree *tree, uint32_t firstRow,
                             uint32_t lastRow, uint64_t budgetMicros,
                             const std::atomic<bool> *cancel,
                             std::vector<HighlightMatch> *out) const
{
    const auto started = std::chrono::steady_clock::now();
    ts_query_cursor_set_timeout_micros(cursor, budgetMicros);
    ts_query_cursor_set_point_range(cursor, {firstRow, 0}, {lastRow + 1, 0});
    ts_query_cursor_exec(cursor, m_query, ts_tree_root_node(tree));
    TSQueryMatch match;
    while (ts_query_cursor_next_match(cursor, &match)) {
        HighlightMatch found{match.pattern_index, {}};
        for (uint16_t i = 0; i < match.capture_count; ++i) {
            const TSNode node = match.captures[i].node;
            const TSPoint end = ts_node_end_point(node);
            found.captures.append({match.captures[i].index, ts_node_start_byte(node) / 2,
                                   ts_node_end_byte(node) / 2, ts_node_start_point(node).row,
                                   end.row - (end.column == 0 && end.row > 0 ? 1 : 0)});
        }
        out->push_back(std::move(found));
        if (cancel && cancel->load(std::memory_order_relaxed))
            return false;
    }
    // The cursor ends a timed-out run as if it had found everything.
    return budgetMicros == 0
        || std::chrono::steady_clock::now() - started < std::chrono::microseconds(budgetMicros);
}

bool HighlightQuery::accepts(const HighlightMatch &match, const QString &text) const
{
    const auto captured = [&match, &text](uint32_t index, QString *out) {
        for (const HighlightMatch::Capture &capture : match.captures) {
            if (capture.index == index) {
                *out = text.mid(capture.from, capture.to - capture.from);
                return true;
            }
        }
        return false;
    };
    for (const Predicate &p : m_predicates.value(match.pattern)) {
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

namespace {

std::mutex cacheMutex; // guards the cache
std::mutex compileMutex; // one compilation at a time, so none is done twice

// Never freed before exit: every window of the process shares them.
QHash<const Grammar *, std::shared_ptr<const HighlightQuery>> &cache()
{
    static QHash<const Grammar *, std::shared_ptr<const HighlightQuery>> compiled;
    return compiled;
}

} // namespace

std::shared_ptr<const HighlightQuery> HighlightQuery::ready(const Grammar &grammar)
{
    const std::lock_guard<std::mutex> lock(cacheMutex);
    return cache().value(&grammar);
}

std::shared_ptr<const HighlightQuery> HighlightQuery::wait(const Grammar &grammar)
{
    const std::lock_guard<std::mutex> compiling(compileMutex);
    if (auto query = ready(grammar))
        return query;
    auto query = std::make_shared<const HighlightQuery>(grammar);
    const std::lock_guard<std::mutex> lock(cacheMutex);
    cache().insert(&grammar, query);
    return query;
}
