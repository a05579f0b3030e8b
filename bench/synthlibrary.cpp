#include "bench/synthlibrary.h"

#include "library/librarypaths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace SynthLibrary {

namespace {

constexpr qsizetype KB = 1024;
constexpr qsizetype MB = 1024 * KB;

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
        const QString language = languageName(l);
        const int categories = l == 0 ? shape.categories : shape.otherCategories;
        for (int c = 0; c < categories; ++c) {
            const QString category = categoryName(c);
            const QString folder = dir + QLatin1Char('/') + language + QLatin1Char('/') + category;
            QDir().mkpath(folder);
            const int snippets = (l == 0 && c == 0) ? shape.snippets : shape.otherSnippets;
            for (int s = 0; s < snippets; ++s) {
                const QString name = snippetName(s);
                writeFile(folder + QLatin1Char('/') + name + LibraryPaths::snippetSuffix,
                          snippetText(synopsisFor(language, category, name), shape.snippetBytes));
            }
        }
    }
}

} // namespace

Scale Scale::full()
{
    return {{5, 5, 20, 5, 20, 2 * KB}, {50, 100, 10000, 5, 20, 2 * KB}, {2 * KB, MB, 10 * MB}, 7};
}

Scale Scale::smoke()
{
    return {{2, 2, 3, 2, 3, 512}, {3, 4, 40, 2, 3, 512}, {2 * KB, 16 * KB, 64 * KB}, 1};
}

QString languageName(int index)
{
    return QStringLiteral("lang%1").arg(index, 2, 10, QLatin1Char('0'));
}

QString categoryName(int index)
{
    return QStringLiteral("c%1").arg(index, 3, 10, QLatin1Char('0'));
}

QString snippetName(int index)
{
    return QStringLiteral("s%1").arg(index, 5, 10, QLatin1Char('0'));
}

QString sizeLabel(qsizetype bytes)
{
    if (bytes >= MB && bytes % MB == 0)
        return QStringLiteral("%1 MB").arg(bytes / MB);
    if (bytes >= KB && bytes % KB == 0)
        return QStringLiteral("%1 KB").arg(bytes / KB);
    return QStringLiteral("%1 B").arg(bytes);
}

QString sizeName(qsizetype bytes)
{
    return sizeLabel(bytes).remove(QLatin1Char(' '));
}

QString synopsisFor(const QString &language, const QString &category, const QString &snippet)
{
    return QStringLiteral("Synthetic snippet %1/%2/%3").arg(language, category, snippet);
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

Libraries::Libraries(const QString &home)
    : m_home(home)
{
}

void Libraries::build(const Scale &scale)
{
    buildLibrary(stored(QStringLiteral("small")), scale.small);
    buildLibrary(stored(QStringLiteral("large")), scale.large);
    QDir().mkpath(textsFolder());
    for (const qsizetype size : scale.textSizes) {
        const QString name = sizeName(size);
        writeFile(textsFolder() + QLatin1Char('/') + name + LibraryPaths::snippetSuffix,
                  snippetText(synopsisFor(QStringLiteral("texts"), QStringLiteral("sizes"), name),
                              size));
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

QString Libraries::root() const
{
    return m_home + QStringLiteral("/Documents/My Snippets");
}

QString Libraries::textsFolder() const
{
    const QString texts = QStringLiteral("texts");
    return (m_active == texts ? root() : stored(texts)) + QStringLiteral("/texts/sizes");
}

QString Libraries::stored(const QString &name) const
{
    return m_home + QStringLiteral("/bench-libraries/") + name;
}

} // namespace SynthLibrary
