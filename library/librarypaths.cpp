#include "library/librarypaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#  include <windows.h>
#endif

namespace {

const QLatin1String snippetSuffix(".spt");

QString withTrailingSeparator(const QString &path)
{
    // Qt hands out '/' on Windows too: "C:/" must not become "C:/\".
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}

#ifdef Q_OS_WIN
// Letter case does not tell names apart on Windows, so any spelling finds the
// file; the spelling on disk is the one whose extension a rename keeps.
QString spellingOnDisk(const QString &path)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), &found);
    if (search == INVALID_HANDLE_VALUE)
        return path;
    FindClose(search);
    return QFileInfo(path).path() + QDir::separator() + QString::fromWCharArray(found.cFileName);
}
#endif

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
    if (exactInfo.exists() && !exactInfo.isDir()) {
#ifdef Q_OS_WIN
        return spellingOnDisk(exact);
#else
        return exact;
#endif
    }

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

bool isNameInsideLibrary(const QString &name)
{
    if (QDir::isAbsolutePath(name) || name.startsWith(QLatin1Char('/')))
        return false;
    const QStringList components = QDir::fromNativeSeparators(name).split(QLatin1Char('/'));
    return !components.contains(QStringLiteral(".."));
}

} // namespace LibraryPaths
