#include "library/librarypaths.h"

#include "library/platform.h"

#include <QCoreApplication>
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

QString entryPath(const QString &folder, const QString &name)
{
    return folder + QDir::separator() + name;
}

QString languagePath(const QString &root, const QString &language)
{
    return entryPath(root, language);
}

QString categoryPath(const QString &root, const QString &language, const QString &category)
{
    return entryPath(languagePath(root, language), category);
}

QString snippetFilePath(const QString &categoryPath, const QString &name)
{
    const QString exact = entryPath(categoryPath, name + snippetSuffix);
    // A folder named like a snippet is never one, and must not hide the
    // file "Name.SPT" beside it.
    const QFileInfo exactInfo(exact);
    if (exactInfo.exists() && !exactInfo.isDir())
        return Platform::spellingOnDisk(exact);

    // The suffix's spellings in the order a sorted listing gives them,
    // capitals first, so "Name.SPT" wins over "Name.Spt". Asking for eight
    // names costs a few lookups; reading the folder would cost one per entry,
    // and every emptied snippet box in the cascade asks for a missing name.
    const QString stem = entryPath(categoryPath, name + QLatin1Char('.'));
    for (int lowerCase = 0b000; lowerCase <= 0b111; ++lowerCase) {
        const QString candidate = stem + QChar(lowerCase & 0b100 ? u's' : u'S')
            + QChar(lowerCase & 0b010 ? u'p' : u'P') + QChar(lowerCase & 0b001 ? u't' : u'T');
        // Anything but a folder, as a listing with hidden and system entries
        // would find it: a dangling link too.
        const QFileInfo info(candidate);
        if (isTaken(info) && !info.isDir())
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

QString whyRefused(const QString &name, NameProblem problem)
{
    switch (problem) {
    case NameProblem::None:
        break;
    case NameProblem::LeavesLibrary:
        return QCoreApplication::translate("LibraryPaths",
                                           "\"%1\" was not used: a name may not be an absolute "
                                           "path or \"..\", because it would point outside the "
                                           "snippet library.")
            .arg(name);
    case NameProblem::HoldsSeparator: {
        // Named as it stands: '\\' separates too where the name is created.
        qsizetype at = name.indexOf(QLatin1Char('/'));
        if (at < 0)
            at = name.indexOf(QLatin1Char('\\'));
        return QCoreApplication::translate("LibraryPaths",
                                           "\"%1\" was not used: a name may not contain \"%2\", "
                                           "because the entry would land inside another one, "
                                           "where no list shows it.")
            .arg(name, at >= 0 ? name.mid(at, 1) : QStringLiteral("/"));
    }
    case NameProblem::Hidden:
        if (name.isEmpty())
            return QCoreApplication::translate("LibraryPaths",
                                               "A snippet needs a name: the file \"%1\" would be "
                                               "hidden.")
                .arg(snippetSuffix);
        return QCoreApplication::translate("LibraryPaths",
                                           "\"%1\" was not used: a name may not start with "
                                           "\".\", because the entry would be hidden and no list "
                                           "would show it.")
            .arg(name);
    case NameProblem::Blank:
        return QCoreApplication::translate("LibraryPaths",
                                           "A name of only spaces was not used: no list would "
                                           "show what it names.");
    case NameProblem::ForbiddenOnThisSystem:
        return QCoreApplication::translate("LibraryPaths",
                                           "\"%1\" was not used: this system does not allow that "
                                           "name for a file or folder.")
            .arg(name);
    }
    return QString();
}

bool isTaken(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

bool isTaken(const QString &path)
{
    return isTaken(QFileInfo(path));
}

bool isNameInsideLibrary(const QString &name)
{
    return problemOfPath(name) != NameProblem::LeavesLibrary;
}

} // namespace LibraryPaths
