#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Synthetic snippet libraries for the benchmark. Several libraries live side
// by side in the temporary home; the one being measured is renamed into
// place as Documents/"My Snippets", so the program finds it where it looks.
namespace SynthLibrary {

// The first language holds `categories`, its first category `snippets`;
// every other language and category holds the smaller "other" counts.
struct Shape
{
    int languages, categories, snippets, otherCategories, otherSnippets;
    qsizetype snippetBytes;
};

struct Scale
{
    Shape small;
    Shape large; // "the large library": 10,000 snippets in its first category
    QList<qsizetype> textSizes; // the load and save texts
    QList<int> lineFeeds; // load bodies of that many empty lines
    int runs;

    static Scale full();
    static Scale smoke();
};

inline QString languageName(int index)
{
    return QStringLiteral("lang%1").arg(index, 2, 10, QLatin1Char('0'));
}
inline QString categoryName(int index)
{
    return QStringLiteral("c%1").arg(index, 3, 10, QLatin1Char('0'));
}
inline QString snippetName(int index)
{
    return QStringLiteral("s%1").arg(index, 5, 10, QLatin1Char('0'));
}

QString sizeLabel(qsizetype bytes); // "2 KB", "10 MB"
inline QString sizeName(qsizetype bytes) // the same without the space: a snippet name
{
    return sizeLabel(bytes).remove(QLatin1Char(' '));
}

// The first line of every generated snippet names where it belongs, so a
// check can tell which file ended up in the fields.
inline QString synopsisFor(const QString &language, const QString &category,
                           const QString &snippet)
{
    return QStringLiteral("Synthetic snippet %1/%2/%3").arg(language, category, snippet);
}

inline QString lineFeedsName(int count) // "lines300000"
{
    return QStringLiteral("lines%1").arg(count);
}

// Source-like ASCII text of exactly `size` bytes whose first line is the synopsis.
QByteArray snippetText(const QString &synopsis, qsizetype size);

class Libraries
{
public:
    explicit Libraries(const QString &home) : m_home(home) {}

    // Parent process only: "small", "large" and "texts"; child processes use
    // what the parent built.
    void build(const Scale &scale);

    void activate(const QString &name);
    void deactivate();

    QString root() const { return m_home + QStringLiteral("/Documents/My Snippets"); }
    // Where a library waits while another one is in place.
    QString stored(const QString &name) const
    {
        return m_home + QStringLiteral("/bench-libraries/") + name;
    }
    // The load and save files, named by size, wherever the library is.
    QString textsFolder() const;

private:
    QString m_home;
    QString m_active;
};

} // namespace SynthLibrary
