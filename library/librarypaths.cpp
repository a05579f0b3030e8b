#include "library/librarypaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <pwd.h>
#include <unistd.h>

#include <vector>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

QString withTrailingSeparator(const QString &path)
{
    // Qt hands out '/' on Windows too: "C:/" must not become "C:/\".
    if (path.endsWith(QLatin1Char('/')) || path.endsWith(QDir::separator()))
        return path;
    return path + QDir::separator();
}

#ifdef Q_OS_UNIX

QString homeFromUserDatabase()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE
           && buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? QFile::decodeName(found->pw_dir) : QString();
}

// What QStandardPaths answers for Documents when HOME is `home`: the last
// XDG_DOCUMENTS_DIR line of user-dirs.dirs, else "Documents" in the home.
QString documentsBelow(const QString &home)
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = home + QStringLiteral("/.config");
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    QString documents;
    if (dirs.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QLatin1String key("XDG_DOCUMENTS_DIR=");
        while (!dirs.atEnd()) {
            QString line = QString::fromUtf8(dirs.readLine());
            if (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            if (!line.startsWith(key))
                continue;
            QString value = line.mid(key.size());
            if (value.size() > 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME")))
                value = home + value.mid(5);
            if (value.size() > 1 && value.endsWith(QLatin1Char('/')))
                value.chop(1);
            documents = value;
        }
    }
    return documents.isNull() ? home + QStringLiteral("/Documents") : documents;
}

#endif

bool isAbsoluteName(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return true;
#ifdef Q_OS_WIN
    // "C:" names a folder on another drive, with or without a separator.
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter();
#else
    // QDir::isAbsolutePath would take a leading ':' for a Qt resource.
    return false;
#endif
}

#ifdef Q_OS_WIN
bool isForbiddenOnWindows(const QString &fileName)
{
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c))
            return true;
    }
    if (fileName.endsWith(QLatin1Char('.')) || fileName.endsWith(QLatin1Char(' ')))
        return true;
    // Device names stay devices whatever extension follows: "con.spt" too.
    const QString stem = fileName.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    for (const char *device : {"CON", "PRN", "AUX", "NUL"}) {
        if (stem == QLatin1String(device))
            return true;
    }
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}
#endif

// What the file system or the desktop makes of `fileName`, the whole name
// that lands on disk.
LibraryPaths::NameProblem problemOfFileName(const QString &fileName)
{
#ifdef Q_OS_WIN
    if (isForbiddenOnWindows(fileName))
        return LibraryPaths::NameProblem::ForbiddenOnThisSystem;
#else
    if (fileName.startsWith(QLatin1Char('.')))
        return LibraryPaths::NameProblem::Hidden;
#endif
    return LibraryPaths::NameProblem::None;
}

// Absolute names and ".." leave the library; separators only nest.
LibraryPaths::NameProblem problemOfPath(const QString &name)
{
    if (isAbsoluteName(name))
        return LibraryPaths::NameProblem::LeavesLibrary;
    const QStringList components = QString(name).replace(QLatin1Char('\\'), QLatin1Char('/')).split(QLatin1Char('/'));
    if (components.contains(QStringLiteral("..")))
        return LibraryPaths::NameProblem::LeavesLibrary;
    if (components.size() > 1)
        return LibraryPaths::NameProblem::HoldsSeparator;
    return LibraryPaths::NameProblem::None;
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

QString homePath()
{
#ifdef Q_OS_UNIX
    if (qEnvironmentVariableIsEmpty("HOME")) {
        const QString home = homeFromUserDatabase();
        if (!home.isEmpty())
            return home;
    }
#endif
    return QDir::homePath();
}

QString rootPath()
{
#ifdef Q_OS_UNIX
    // Qt takes a missing HOME for "/" and would put the library in
    // "/Documents", out of the user's reach and shared with every account.
    if (qEnvironmentVariableIsEmpty("HOME")) {
        const QString home = homeFromUserDatabase();
        if (!home.isEmpty())
            return rootPath(documentsBelow(home));
    }
#endif
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

NameProblem checkName(const QString &name)
{
    const NameProblem problem = problemOfPath(name);
    return problem != NameProblem::None ? problem : problemOfFileName(name);
}

NameProblem checkSnippetName(const QString &name)
{
    const NameProblem problem = problemOfPath(name);
    return problem != NameProblem::None ? problem : problemOfFileName(name + snippetSuffix);
}

NameProblem checkNameToRead(const QString &name)
{
    if (isAbsoluteName(name))
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
