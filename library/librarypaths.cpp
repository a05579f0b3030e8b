#include "library/librarypaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QLatin1String snippetSuffix(".spt");

QString withTrailingSeparator(const QString &path)
{
    return path.endsWith(QDir::separator()) ? path : path + QDir::separator();
}

} // namespace

namespace LibraryPaths {

QString rootPath(const QString &documentsLocation)
{
    return withTrailingSeparator(documentsLocation) + QStringLiteral("My Snippets");
}

QString rootPath()
{
    return rootPath(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

QString languagePath(const QString &root, const QString &language)
{
    return withTrailingSeparator(root) + language;
}

QString categoryPath(const QString &root, const QString &language, const QString &category)
{
    return languagePath(root, language) + QDir::separator() + category;
}

QString snippetFilePath(const QString &categoryPath, const QString &name)
{
    const QString exact = categoryPath + QDir::separator() + name + snippetSuffix;
    // A folder named like a snippet is never one, and must not hide the
    // file "Name.SPT" beside it.
    const QFileInfo exactInfo(exact);
    if (exactInfo.exists() && !exactInfo.isDir())
        return exact;

    // A name filter in QDir ignores letter case, so this finds "Name.SPT" and
    // the like; the check below keeps "Name.x.spt" from standing in for it.
    const QDir category(categoryPath);
    const QString pattern = QDir::toNativeSeparators(name + snippetSuffix);
    const QStringList candidates =
        category.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &candidate : candidates) {
        if (candidate.size() == name.size() + snippetSuffix.size()
            && candidate.startsWith(name)
            && candidate.endsWith(snippetSuffix, Qt::CaseInsensitive)) {
            return categoryPath + QDir::separator() + candidate;
        }
    }
    return exact;
}

bool isNameInsideLibrary(const QString &name)
{
    if (QDir::isAbsolutePath(name) || name.startsWith(QLatin1Char('/')))
        return false;
    const QStringList components = QDir::fromNativeSeparators(name).split(QLatin1Char('/'));
    return !components.contains(QStringLiteral(".."));
}

} // namespace LibraryPaths
