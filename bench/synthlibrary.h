#pragma once

#include <QList>
#include <QString>

class QByteArray;

// Synthetic snippet libraries for the benchmark. Several libraries live side
// by side in the temporary home; the one being measured is renamed into
// place as Documents/"My Snippets", so the program finds it where it looks.
namespace SynthLibrary {

// The first language holds `categories`, its first category `snippets`;
// every other language and category holds the smaller "other" counts.
struct Shape
{
    int languages;
    int categories;
    int snippets;
    int otherCategories;
    int otherSnippets;
    qsizetype snippetBytes;
};

struct Scale
{
    Shape small;
    Shape large;
    QList<qsizetype> textSizes; // the load and save texts
    int runs;

    static Scale full();
    static Scale smoke();
};

QString languageName(int index);
QString categoryName(int index);
QString snippetName(int index);
QString sizeLabel(qsizetype bytes); // "2 KB", "10 MB"
QString sizeName(qsizetype bytes);  // the same without the space: a snippet name

// The first line of every generated snippet names where it belongs, so a
// check can tell which file ended up in the fields.
QString synopsisFor(const QString &language, const QString &category, const QString &snippet);

// Source-like ASCII text of exactly `size` bytes whose first line is the synopsis.
QByteArray snippetText(const QString &synopsis, qsizetype size);

class Libraries
{
public:
    explicit Libraries(const QString &home);

    // Parent process only; child processes use what the parent built.
    void build(const Scale &scale);

    void activate(const QString &name); // "small", "large" or "texts"
    void deactivate();

    QString root() const; // Documents/My Snippets
    QString textsFolder() const; // the load and save files, by size name
    QString stored(const QString &name) const; // where a library waits when not in place

private:

    QString m_home;
    QString m_active;
};

} // namespace SynthLibrary
