#include "ui/snippetfields.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace {

using Spelling = ShownBody::Spelling;
using Spelled = ShownBody::Spelled;

// Besides CR LF, QTextDocument also breaks the paragraph at a lone carriage
// return, at U+2029 and at its two frame markers; each comes back as a line
// feed.
bool isDocumentBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0
        || c.unicode() == 0xFDD1;
}

QStringView spelling(Spelling as)
{
    switch (as) {
    case Spelling::LineFeed:
        return u"\n";
    case Spelling::CrLf:
        return u"\r\n";
    case Spelling::Cr:
        return u"\r";
    case Spelling::ParagraphSeparator:
        return u"\u2029";
    case Spelling::FrameStart:
        return u"\uFDD0";
    case Spelling::FrameEnd:
        return u"\uFDD1";
    }
    return u"\n";
}

// The body as the document shows it, with every line break the document
// turns into a plain one noted, and the file's usual line break.
ShownBody shownForm(const QString &body, bool crlfAfterSynopsis)
{
    ShownBody shown;
    qsizetype lineFeeds = 0, crlfs = 0, crs = 0;
    const qsizetype size = body.size();
    // Most bodies go in as they are, and then are not held twice.
    const bool asItIs = std::none_of(body.cbegin(), body.cend(), isDocumentBreak);
    if (asItIs) {
        shown.text = body;
        lineFeeds = body.count(QLatin1Char('\n'));
    } else {
        shown.text.reserve(size);
    }
    for (qsizetype i = 0; i < size && !asItIs; ++i) {
        const QChar c = body.at(i);
        if (c == QLatin1Char('\n')) {
            ++lineFeeds;
        } else if (isDocumentBreak(c)) {
            Spelling as = Spelling::Cr;
            if (c == QLatin1Char('\r') && i + 1 < size && body.at(i + 1) == QLatin1Char('\n')) {
                as = Spelling::CrLf;
                ++i;
                ++crlfs;
            } else if (c == QLatin1Char('\r')) {
                ++crs;
            } else {
                as = c == QChar::ParagraphSeparator ? Spelling::ParagraphSeparator
                    : c.unicode() == 0xFDD0         ? Spelling::FrameStart
                                                    : Spelling::FrameEnd;
            }
            shown.spellings.push_back({shown.text.size(), as});
            shown.text.append(QLatin1Char('\n'));
            continue;
        }
        shown.text.append(c);
    }
    // The synopsis line's break only decides for a body without any: older
    // saves wrote it as a line feed whatever the body held.
    if (lineFeeds + crlfs + crs == 0 && crlfAfterSynopsis)
        crlfs = 1;
    if (crlfs > lineFeeds && crlfs >= crs)
        shown.typedBreak = Spelling::CrLf;
    else if (crs > lineFeeds && crs > crlfs)
        shown.typedBreak = Spelling::Cr;
    return shown;
}

// A stretch of the edited text: one of the shown text kept (`from`, `to` in
// the shown text), or one typed (in the edited text).
struct Piece
{
    bool kept;
    qsizetype from;
    qsizetype to;
};

// Myers' shortest edit script between n and m items: the pairs of items
// kept, in order. False, with nothing matched, once `steps` passes `mostSteps`.
template<typename Same>
bool shortestEdit(int n, int m, const Same &same, qint64 &steps, qint64 mostSteps, int mostEdits,
                  std::vector<std::pair<int, int>> *matched)
{
    const int mostD = std::min(n + m, mostEdits);
    std::vector<int> v(2 * size_t(mostD) + 3, 0);
    const int offset = mostD + 1;
    std::vector<std::vector<int>> trace;
    int found = -1;
    for (int d = 0; d <= mostD && found < 0; ++d) {
        for (int k = -d; k <= d; k += 2) {
            int x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                ? v[offset + k + 1]
                : v[offset + k - 1] + 1;
            int y = x - k;
            while (x < n && y < m && same(x, y)) {
                ++x;
                ++y;
                ++steps;
            }
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        trace.emplace_back(v.begin() + offset - d, v.begin() + offset + d + 1);
        steps += d + 1;
        if (steps > mostSteps)
            return false;
    }
    if (found < 0)
        return false;

    // Back from the end, collecting the kept pairs.
    const size_t first = matched->size();
    int x = n, y = m;
    for (int d = found; d > 0; --d) {
        const std::vector<int> &previous = trace[size_t(d - 1)];
        const auto at = [&](int k) { return previous[size_t(k + d - 1)]; };
        const int k = x - y;
        const bool down = k == -d || (k != d && at(k - 1) < at(k + 1));
        const int previousK = down ? k + 1 : k - 1;
        const int previousX = at(previousK);
        const int previousY = previousX - previousK;
        const int startX = down ? previousX : previousX + 1;
        const int startY = down ? previousY + 1 : previousY;
        while (x > startX && y > startY)
            matched->emplace_back(--x, --y);
        x = previousX;
        y = previousY;
    }
    while (x > 0 && y > 0)
        matched->emplace_back(--x, --y);
    std::reverse(matched->begin() + qsizetype(first), matched->end());
    return true;
}

class Differences
{
public:
    Differences(QStringView before, QStringView after)
        : m_before(before)
        , m_after(after)
    {
    }

    std::vector<Piece> pieces()
    {
        replace(0, m_before.size(), 0, m_after.size(), true);
        return std::move(m_pieces);
    }

private:
    // Past this, what lies between the first and the last change counts as
    // retyped: such a save then costs at most a fraction of a second.
    static constexpr qint64 mostSteps = 20'000'000;
    static constexpr int mostEdits = 2000;

    void push(bool kept, qsizetype from, qsizetype to)
    {
        if (from >= to)
            return;
        if (!m_pieces.empty() && m_pieces.back().kept == kept && m_pieces.back().to == from)
            m_pieces.back().to = to;
        else
            m_pieces.push_back({kept, from, to});
    }

    // before[b0, b1) became after[a0, a1): what both begin and end with is
    // kept; between that, the lines the two share, and within what differs
    // the characters they share.
    void replace(qsizetype b0, qsizetype b1, qsizetype a0, qsizetype a1, bool byLines)
    {
        const qsizetype most = std::min(b1 - b0, a1 - a0);
        qsizetype prefix = 0;
        while (prefix < most && m_before[b0 + prefix] == m_after[a0 + prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < most - prefix && m_before[b1 - 1 - suffix] == m_after[a1 - 1 - suffix])
            ++suffix;
        push(true, b0, b0 + prefix);
        b0 += prefix;
        a0 += prefix;
        b1 -= suffix;
        a1 -= suffix;
        if (!(byLines && matchLines(b0, b1, a0, a1)) && !matchCharacters(b0, b1, a0, a1))
            push(false, a0, a1);
        push(true, b1, b1 + suffix);
    }

    static std::vector<qsizetype> lineStarts(QStringView text, qsizetype from, qsizetype to)
    {
        std::vector<qsizetype> starts{from};
        for (qsizetype i = from; i < to; ++i) {
            if (text[i] == QLatin1Char('\n') && i + 1 < to)
                starts.push_back(i + 1);
        }
        starts.push_back(to);
        return starts;
    }

    bool matchLines(qsizetype b0, qsizetype b1, qsizetype a0, qsizetype a1)
    {
        if (b0 == b1 || a0 == a1)
            return false;
        const std::vector<qsizetype> before = lineStarts(m_before, b0, b1);
        const std::vector<qsizetype> after = lineStarts(m_after, a0, a1);
        const int n = int(before.size() - 1);
        const int m = int(after.size() - 1);
        if (n == 1 && m == 1)
            return false;
        const auto line = [](QStringView text, const std::vector<qsizetype> &starts, int i) {
            return text.sliced(starts[i], starts[i + 1] - starts[i]);
        };
        std::vector<size_t> beforeHashes(n), afterHashes(m);
        for (int i = 0; i < n; ++i)
            beforeHashes[i] = qHash(line(m_before, before, i));
        for (int i = 0; i < m; ++i)
            afterHashes[i] = qHash(line(m_after, after, i));
        const auto same = [&](int x, int y) {
            return beforeHashes[x] == afterHashes[y]
                && line(m_before, before, x) == line(m_after, after, y);
        };
        std::vector<std::pair<int, int>> matched;
        if (!shortestEdit(n, m, same, m_steps, mostSteps, mostEdits, &matched))
            return false;

        int doneX = 0, doneY = 0;
        const auto replaceUpTo = [&](int toX, int toY) {
            replace(before[doneX], before[toX], after[doneY], after[toY], false);
        };
        for (const auto &[mx, my] : matched) {
            replaceUpTo(mx, my);
            push(true, before[mx], before[mx + 1]);
            doneX = mx + 1;
            doneY = my + 1;
        }
        replaceUpTo(n, m);
        return true;
    }

    // Two edits close together, such as a deleted character and a typed
    // line, leave a stretch between them that both texts still share.
    bool matchCharacters(qsizetype b0, qsizetype b1, qsizetype a0, qsizetype a1)
    {
        if (b0 == b1 || a0 == a1 || b1 - b0 + a1 - a0 > 1'000'000)
            return false;
        const auto same = [&](int x, int y) { return m_before[b0 + x] == m_after[a0 + y]; };
        std::vector<std::pair<int, int>> matched;
        if (!shortestEdit(int(b1 - b0), int(a1 - a0), same, m_steps, mostSteps, mostEdits,
                          &matched))
            return false;
        qsizetype doneY = 0;
        for (const auto &[mx, my] : matched) {
            push(false, a0 + doneY, a0 + my);
            push(true, b0 + mx, b0 + mx + 1);
            doneY = my + 1;
        }
        push(false, a0 + doneY, a1);
        return true;
    }

    QStringView m_before;
    QStringView m_after;
    std::vector<Piece> m_pieces;
    qint64 m_steps = 0;
};

// The edited text as the file spells it: kept stretches as the shown text's
// came from the file, line breaks typed anywhere else (Enter, Shift+Enter, a
// paste) as the file's usual one. `spellings` gets where the result differs
// from the edited text, for the next comparison.
QString asTheFileSpellsIt(const ShownBody &shown, QStringView edited,
                          std::vector<Spelled> *spellings)
{
    QString out;
    out.reserve(edited.size() + edited.size() / 8);
    spellings->clear();
    // A lone CR that now meets a line feed would make one break of two.
    const auto beforeLineFeed = [&] {
        if (out.endsWith(QLatin1Char('\r')) && !spellings->empty()
            && spellings->back().as == Spelling::Cr) {
            out.append(QLatin1Char('\n'));
            spellings->back().as = Spelling::CrLf;
        }
    };
    const auto plain = [&](QStringView text) {
        if (text.startsWith(QLatin1Char('\n')))
            beforeLineFeed();
        out.append(text);
    };
    const auto spelled = [&](qsizetype at, Spelling as) {
        const QStringView text = spelling(as);
        if (text.startsWith(QLatin1Char('\n')))
            beforeLineFeed();
        out.append(text);
        if (text != edited.sliced(at, 1))
            spellings->push_back({at, as});
    };

    qsizetype at = 0; // in `edited`
    size_t next = 0;  // in shown.spellings
    for (const Piece &piece : Differences(shown.text, edited).pieces()) {
        if (piece.kept) {
            while (next < shown.spellings.size() && shown.spellings[next].at < piece.from)
                ++next;
            qsizetype from = piece.from;
            for (; next < shown.spellings.size() && shown.spellings[next].at < piece.to; ++next) {
                const Spelled &s = shown.spellings[next];
                plain(QStringView(shown.text).sliced(from, s.at - from));
                spelled(at + s.at - piece.from, s.as);
                from = s.at + 1;
            }
            plain(QStringView(shown.text).sliced(from, piece.to - from));
            at += piece.to - piece.from;
            continue;
        }
        qsizetype from = piece.from;
        for (qsizetype i = piece.from; i < piece.to; ++i) {
            const QChar c = edited[i];
            // Shift+Enter types U+2028. Compilers, grep and diff would see
            // one line holding a stray character, so it is saved as a break.
            if (c == QLatin1Char('\n') || c == QChar::LineSeparator || isDocumentBreak(c)) {
                plain(edited.sliced(from, i - from));
                spelled(i, shown.typedBreak);
                from = i + 1;
            }
        }
        plain(edited.sliced(from, piece.to - from));
        at += piece.to - piece.from;
    }
    return out;
}

// A line edit lays out all of its text, at some 70 bytes a character: a
// first line of many megabytes (a file of NUL bytes, a minified script) would
// take all the memory there is. Such a line shows its beginning, read-only.
constexpr qsizetype longestEditableSynopsis = 1024 * 1024;
constexpr qsizetype shownOfALongerSynopsis = 32767; // QLineEdit's own default limit

qsizetype documentLines(const QString &body)
{
    qsizetype lines = 1;
    const qsizetype size = body.size();
    const QChar *text = body.constData();
    for (qsizetype i = 0; i < size; ++i) {
        // A carriage return before a line feed is part of that one break.
        if (text[i] == QLatin1Char('\n')
            || (isDocumentBreak(text[i]) && !(i + 1 < size && text[i + 1] == QLatin1Char('\n'))))
            ++lines;
    }
    return lines;
}

} // namespace

SnippetFields::SnippetFields(QLineEdit *synopsis, QTextEdit *body)
    : m_synopsis(synopsis)
    , m_body(body)
{
}

QString SnippetFields::whyNotEditable(const SnippetText &text)
{
    const qsizetype lines = documentLines(text.body);
    if (lines <= mostLines)
        return QString();
    return QCoreApplication::translate("SnippetFields",
                                       "it has %1 lines, more than the %2 the editor can take "
                                       "without holding the window up")
        .arg(lines)
        .arg(mostLines);
}

void SnippetFields::show(const SnippetText &text)
{
    setEditable(true);
    const bool editable = text.synopsis.size() <= longestEditableSynopsis;
    const QString shown = editable ? text.synopsis : text.synopsis.left(shownOfALongerSynopsis);
    m_wholeSynopsis = editable ? std::nullopt : std::optional(text.synopsis);
    m_synopsis->setReadOnly(!editable);
    // The default limit would cut a long first line, and the next save would
    // then shorten the stored synopsis.
    if (shown.size() > m_synopsis->maxLength())
        m_synopsis->setMaxLength(int(shown.size()));
    m_synopsis->setText(shown);

    m_baseSynopsis = shown;
    m_crlfAfterSynopsis = text.crlfAfterSynopsis;

    // The document would make each of these line breaks a plain one anyway.
    m_baseBody = shownForm(text.body, text.crlfAfterSynopsis);
    m_body->setPlainText(m_baseBody.text);
    setUnmodified();
}

void SnippetFields::clear()
{
    m_baseBody = ShownBody();
    m_body->clear();
    // QTextEdit::clear() reports the document modified, then resets the flag
    // without a word, and the window's title would stay marked: report it
    // modified once more, so that setUnmodified() tells the reset.
    m_body->document()->setModified(true);
    m_wholeSynopsis.reset();
    m_baseSynopsis.clear();
    m_crlfAfterSynopsis = false;
    // Unlike clear(), which counts as an edit and says so before the flag
    // can be reset.
    m_synopsis->setText(QString());
    setUnmodified();
    setEditable(true);
}

void SnippetFields::showUnloadable(const QString &reason)
{
    clear();
    setEditable(false);
    m_body->setPlaceholderText(reason);
}

void SnippetFields::setEditable(bool editable)
{
    m_synopsis->setReadOnly(!editable);
    m_body->setReadOnly(!editable);
    m_body->setPlaceholderText(QString());
}

SnippetText SnippetFields::textToSave()
{
    // Pasted text brings its line breaks along; a file holds one synopsis
    // line. What came from the file and was not touched stays as it was.
    if (m_synopsis->isModified()) {
        QString line = m_synopsis->text();
        const qsizetype most = std::min(line.size(), m_baseSynopsis.size());
        qsizetype from = 0;
        while (from < most && line.at(from) == m_baseSynopsis.at(from))
            ++from;
        qsizetype to = line.size();
        while (line.size() - to < most - from
               && line.at(to - 1) == m_baseSynopsis.at(m_baseSynopsis.size() - (line.size() - to) - 1))
            --to;
        QString typed = line.mid(from, to - from);
        typed.replace(QLatin1String("\r\n"), QLatin1String(" "));
        for (QChar &c : typed) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
        line = line.left(from) + typed + line.mid(to);
        if (line != m_synopsis->text()) {
            m_synopsis->setText(line);
            // setText() clears the flag, and the save may yet fail.
            m_synopsis->setModified(true);
        }
    }
    return current();
}

bool SnippetFields::isModified() const
{
    return m_synopsis->isModified() || m_body->document()->isModified();
}

void SnippetFields::setUnmodified()
{
    m_synopsis->setModified(false);
    m_body->document()->setModified(false);
}

void SnippetFields::markSaved()
{
    // What was saved is now what came from the file, spelled as it was
    // written: typed line separators included, which stay in the field.
    ShownBody saved;
    saved.text = shownBody();
    asTheFileSpellsIt(m_baseBody, saved.text, &saved.spellings);
    saved.typedBreak = m_baseBody.typedBreak;
    m_baseBody = std::move(saved);
    m_baseSynopsis = m_synopsis->text();
    setUnmodified();
}

SnippetText SnippetFields::current() const
{
    return {currentSynopsis(), currentBody(), m_crlfAfterSynopsis};
}

QString SnippetFields::currentSynopsis() const
{
    const QString shown = m_synopsis->text();
    if (m_wholeSynopsis && shown == m_wholeSynopsis->left(shownOfALongerSynopsis))
        return *m_wholeSynopsis;
    return shown;
}

QString SnippetFields::shownBody() const
{
    // toPlainText() would also turn no-break spaces into plain ones.
    QString text = m_body->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString SnippetFields::currentBody() const
{
    std::vector<Spelled> spellings;
    return asTheFileSpellsIt(m_baseBody, shownBody(), &spellings);
}
