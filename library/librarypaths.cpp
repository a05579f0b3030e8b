#include "library/librarypaths.h"

#include "library/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

QString withTrailingSeparator(const QString &path)
{
    // Qt hands out '/' on Windows too: "C:/" must not become "C:/\".
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}

// What the file system or the desktop makes of `fileName`, the whole name
// that lands on disk.
LibraryPaths::NameProblem problemOfFileName(const QString &fileName)
{
    if (Platform::isForbiddenFileName(fileName))
        return LibraryPaths::NameProblem::ForbiddenOnThisSystem;
    if (Platform::isHiddenFileName(fileName))
        return LibraryPaths::NameProblem::Hidden;
    return LibraryPaths::NameProblem::None;
}

// Absolute names and ".." leave the library; separators only nest.
LibraryPaths::NameProblem problemOfPath(const QString &name)
{
    if (Platform::isAbsoluteName(name))
        return LibraryPaths::NameProblem::LeavesLibrary;
    const QStringList components = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    if (components.contains(QStringLiteral("..")))
        return LibraryPaths::NameProblem::LeavesLibrary;
    if (components.size() > 1)
        return LibraryPaths::NameProblem::HoldsSeparator;
    return LibraryPaths::NameProblem::None;
}

} // namespace

namespace LibraryPaths {

QString rootPath(const QString &documentsLocation)
{
    return withTrailingSeparator(documentsLocation) + QStringLiteral("My Snippets");
}

QString homePath()
{
    return Platform::homePath();
}

QString rootPath()
{
    return rootPath(Platform::documentsLocation());
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
        return Platform::spellingOnDisk(exact);

    // The suffix's spellings in the order a sorted listing gives them,
    // capitals first, so "Name.SPT" wins over "Name.Spt". Asking for eight
    // names costs a few lookups; reading the folder would cost one per entry,
    // and every emptied snippet box in the cascade asks for a missing name.
    const QString stem = categoryPath + QDir::separator() + name + QLatin1Char('.');
    for (int lowerCase = 0b000; lowerCase <= 0b111; ++lowerCase) {
        const QString candidate = stem + QChar(lowerCase & 0b100 ? u's' : u'S')
            + QChar(lowerCase & 0b010 ? u'p' : u'P') + QChar(lowerCase & 0b001 ? u't' : u'T');
        // Anything but a folder, as a listing with hidden and system entries
        // would find it: a dangling link too.
        const QFileInfo info(candidate);
        if ((info.exists() || info.isSymLink()) && !info.isDir())
            return candidate;
    }
    return exact;
}

NameProblem checkName(const QString &name)
{
    if (!name.isEmpty() && name.trimmed().isEmpty())
        return NameProblem::Blank;
    const NameProblem problem = problemOfPath(name);
    return problem != NameProblem::None ? problem : problemOfFileName(name);
}

NameProblem checkSnippetName(const QString &name)
{
    if (!name.isEmpty() && name.trimmed().isEmpty())
        return NameProblem::Blank;
    const NameProblem problem = problemOfPath(name);
    return problem != NameProblem::None ? problem : problemOfFileName(name + snippetSuffix);
}

NameProblem checkNameToRead(const QString &name)
{
    if (Platform::isAbsoluteName(name))
        return NameProblem::LeavesLibrary;
    QString components = name;
    if (QDir::separator() != QLatin1Char('/'))
        components.replace(QDir::separator(), QLatin1Char('/'));
    const QStringList parts = components.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")) || parts.contains(QStringLiteral(".")))
        return NameProblem::LeavesLibrary;
    return parts.size() > 1 ? NameProblem::HoldsSeparator : NameProblem::None;
}

bool isNameInsideLibrary(const QString &name)
{
    return problemOfPath(name) != NameProblem::LeavesLibrary;
}

} // namespace LibraryPaths
