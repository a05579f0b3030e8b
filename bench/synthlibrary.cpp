#include "bench/synthlibrary.h"

#include "library/librarypaths.h"
#include "ui/snippetfields.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace SynthLibrary {

namespace {

constexpr qsizetype KB = 1024;
constexpr qsizetype MB = 1024 * KB;

// A library that cannot be written would measure nothing.
void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

void buildLibrary(const QString &dir, const Shape &shape)
{
    for (int l = 0; l < shape.languages; ++l) {
        for (int c = 0; c < (l == 0 ? shape.categories : shape.otherCategories); ++c) {
            const QString folder = LibraryPaths::categoryPath(dir, languageName(l), categoryName(c));
            QDir().mkpath(folder);
            for (int s = 0; s < (l == 0 && c == 0 ? shape.snippets : shape.otherSnippets); ++s) {
                writeFile(folder + QLatin1Char('/') + snippetName(s) + LibraryPaths::snippetSuffix,
                          snippetText(synopsisFor(languageName(l), categoryName(c), snippetName(s)),
                                      shape.snippetBytes));
            }
        }
    }
}

} // namespace

Scale Scale::full()
{
    return {{5, 5, 20, 5, 20, 2 * KB}, {50, 100, 10000, 5, 20, 2 * KB}, {2 * KB, MB, 10 * MB},
            {int(SnippetFields::mostLines), 8000000}, 7};
}

Scale Scale::smoke()
{
    return {{2, 2, 3, 2, 3, 512}, {3, 4, 40, 2, 3, 512}, {2 * KB, 16 * KB, 64 * KB},
            {1000, int(SnippetFields::mostLines) + 1}, 1};
}

QString sizeLabel(qsizetype bytes)
{
    if (bytes >= MB && bytes % MB == 0)
        return QStringLiteral("%1 MB").arg(bytes / MB);
    if (bytes >= KB && bytes % KB == 0)
        return QStringLiteral("%1 KB").arg(bytes / KB);
    return QStringLiteral("%1 B").arg(bytes);
}

QByteArray snippetText(const QString &synopsis, qsizetype size)
{
    QByteArray text = synopsis.toUtf8() + '\n';
    text.reserve(size + 80);
    for (int line = 0; text.size() < size; ++line) {
        text += "    total += weight[" + QByteArray::number(line) + "] * sample(row, "
            + QByteArray::number(line % 97) + ");\n";
    }
    text.truncate(size);
    return text;
}

void Libraries::build(const Scale &scale)
{
    buildLibrary(stored(QStringLiteral("small")), scale.small);
    buildLibrary(stored(QStringLiteral("large")), scale.large);
    QDir().mkpath(textsFolder());
    for (const qsizetype size : scale.textSizes) {
        writeFile(textsFolder() + QLatin1Char('/') + sizeName(size) + LibraryPaths::snippetSuffix,
                  snippetText(synopsisFor(QStringLiteral("texts"), QStringLiteral("sizes"),
                                          sizeName(size)),
                              size));
    }
    for (const int count : scale.lineFeeds) {
        writeFile(textsFolder() + QLatin1Char('/') + lineFeedsName(count)
                      + LibraryPaths::snippetSuffix,
                  synopsisFor(QStringLiteral("texts"), QStringLiteral("sizes"), lineFeedsName(count))
                          .toUtf8()
                      // The synopsis line's own feed, then a body of `count` lines.
                      + QByteArray(count, '\n'));
    }
    QDir().mkpath(m_home + QStringLiteral("/Documents"));
    // Without it Qt 6.4 "trashes" into the working directory.
    QDir().mkpath(m_home + QStringLiteral("/.local/share"));
}

void Libraries::activate(const QString &name)
{
    if (m_active == name)
        return;
    deactivate();
    if (!QDir().rename(stored(name), root())) {
        std::fprintf(stderr, "bench: cannot activate library %s\n", qPrintable(name));
        std::exit(2);
    }
    m_active = name;
}

void Libraries::deactivate()
{
    if (!m_active.isEmpty())
        QDir().rename(root(), stored(m_active));
    m_active.clear();
}

QString Libraries::textsFolder() const
{
    const QString texts = QStringLiteral("texts");
    return LibraryPaths::categoryPath(m_active == texts ? root() : stored(texts), texts,
                                      QStringLiteral("sizes"));
}

} // namespace SynthLibrary
