#include "syntax/highlightquery.h"

#include "syntax/grammars.h"

#include <QHash>

#include <chrono>
#include <cstring>
#include <future>
#include <mutex>

namespace {

QString fromUtf8(const char *text, uint32_t length)
{
    return QString::fromUtf8(text, qsizetype(length));
}

// Lua patterns as the queries use them, in the regular expressions' terms.
QString luaToRegularExpression(const QString &lua)
{
    static const QHash<QChar, QString> classes = {
        {QLatin1Char('a'), QStringLiteral("[A-Za-z]")}, {QLatin1Char('d'), QStringLiteral("[0-9]")},
        {QLatin1Char('l'), QStringLiteral("[a-z]")},    {QLatin1Char('u'), QStringLiteral("[A-Z]")},
        {QLatin1Char('s'), QStringLiteral("\\s")},      {QLatin1Char('w'), QStringLiteral("[A-Za-z0-9]")},
        {QLatin1Char('x'), QStringLiteral("[A-Fa-f0-9]")}, {QLatin1Char('p'), QStringLiteral("[[:punct:]]")},
    };
    QString out;
    for (qsizetype i = 0; i < lua.size(); ++i) {
        const QChar c = lua.at(i);
        if (c == QLatin1Char('%') && i + 1 < lua.size()) {
            const QChar next = lua.at(++i);
            const auto found = classes.constFind(next.toLower());
            if (found == classes.cend())
                out += QRegularExpression::escape(QString(next));
            else if (next.isUpper())
                out += QStringLiteral("[^") + found->mid(1);
            else
                out += *found;
        } else if (c == QLatin1Char('-')) {
            out += QStringLiteral("*?");
        } else {
            out += c;
        }
    }
    return out;
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
            } else if (name == QLatin1String("match?") || name == QLatin1String("lua-match?")) {
                predicate.test = Predicate::Test::Match;
                const QString source = predicate.values.value(0);
                predicate.pattern.setPattern(name == QLatin1String("match?")
                                                 ? source
                                                 : luaToRegularExpression(source));
                predicate.pattern.optimize();
                if (!predicate.pattern.isValid())
                    continue;
            } else {
                continue; // #is-not? local and other scope tests: not tracked here
            }
            m_predicates[pattern].append(predicate);
        }
    }
}

namespace {

using Compiled = std::shared_future<std::shared_ptr<const HighlightQuery>>;

std::mutex cacheMutex;

Compiled &compiled(const Grammar &grammar)
{
    // Never freed before exit: every window of the process shares them.
    static QHash<const Grammar *, Compiled> cache;
    const std::lock_guard<std::mutex> lock(cacheMutex);
    Compiled &entry = cache[&grammar];
    if (!entry.valid()) {
        entry = std::async(std::launch::async, [&grammar] {
                    return std::shared_ptr<const HighlightQuery>(
                        std::make_shared<HighlightQuery>(grammar));
                }).share();
    }
    return entry;
}

} // namespace

std::shared_ptr<const HighlightQuery> HighlightQuery::ready(const Grammar &grammar)
{
    const Compiled &query = compiled(grammar);
    if (query.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return nullptr;
    return query.get();
}

std::shared_ptr<const HighlightQuery> HighlightQuery::wait(const Grammar &grammar)
{
    return compiled(grammar).get();
}
