#pragma once

// A byte-exact picture of a folder tree, read with POSIX calls so that names
// which are not valid UTF-8 are seen as they are on disk. Windows names are
// UTF-16, which Qt reads as they stand, so there Qt's own calls see it all.

#include "tests/testsupport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QStringList>

#include <map>
#include <string>

#include <sys/stat.h>

#ifdef Q_OS_WIN
#  include <QDateTime>
#  include <QDir>
#  include <QFile>
#  include <QFileInfo>
#else
#  include <dirent.h>
#  include <fcntl.h>
#  include <ftw.h>
#  include <unistd.h>
#endif

namespace TreeSnapshot {

struct Entry
{
    int type = 0;
    qint64 size = 0;
    QByteArray content; // a hash for regular files, the target for links
    bool operator==(const Entry &other) const
    {
        return type == other.type && size == other.size && content == other.content;
    }
};

using Tree = std::map<std::string, Entry>;

#ifdef Q_OS_WIN

// Stands for links and junctions, which have no S_IFLNK here.
constexpr int linkType = 0xa000;

inline QByteArray hashOf(const QFileInfo &info)
{
    // Large files by size and modification time, as elsewhere.
    if (info.size() > 4 * 1024 * 1024)
        return QByteArray::number(info.lastModified().toMSecsSinceEpoch());
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

inline Entry entryOf(const QFileInfo &info)
{
    Entry entry;
    if (info.isSymLink() || info.isJunction()) {
        entry.type = linkType;
        entry.content = info.symLinkTarget().toUtf8();
    } else if (info.isDir()) {
        entry.type = S_IFDIR;
    } else {
        entry.type = S_IFREG;
        entry.size = info.size();
        entry.content = hashOf(info);
    }
    return entry;
}

inline void walk(const QString &path, const std::string &relative, Tree &tree)
{
    const QFileInfoList items = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &item : items) {
        const std::string name = item.fileName().toStdString();
        const std::string rel = relative.empty() ? name : relative + '/' + name;
        const Entry entry = entryOf(item);
        tree[rel] = entry;
        if (entry.type == S_IFDIR)
            walk(item.filePath(), rel, tree);
    }
}

inline Tree take(const QString &root)
{
    Tree tree;
    const QFileInfo info(root);
    if ((info.exists() || info.isSymLink()) && (!info.isDir() || info.isSymLink())) {
        tree["."] = entryOf(info);
        return tree;
    }
    walk(root, std::string(), tree);
    return tree;
}

#else

inline QByteArray hashOf(const std::string &path, off_t size)
{
    // Large files are compared by size and modification time: reading them
    // back would cost more than the test they belong to.
    struct stat info;
    if (size > 4 * 1024 * 1024) {
        if (lstat(path.c_str(), &info) != 0)
            return "<unreadable>";
        return QByteArray::number(qint64(info.st_mtim.tv_sec)) + '.'
            + QByteArray::number(qint64(info.st_mtim.tv_nsec));
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return "<unreadable>";
    QCryptographicHash hash(QCryptographicHash::Sha1);
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        hash.addData(QByteArrayView(buffer, got));
    ::close(fd);
    return hash.result().toHex();
}

inline void walk(const std::string &path, const std::string &relative, Tree &tree)
{
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return;
    while (dirent *item = readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string full = path + '/' + name;
        const std::string rel = relative.empty() ? name : relative + '/' + name;
        struct stat info;
        if (lstat(full.c_str(), &info) != 0)
            continue;
        Entry entry;
        entry.type = info.st_mode & S_IFMT;
        if (S_ISREG(info.st_mode)) {
            entry.size = info.st_size;
            entry.content = hashOf(full, info.st_size);
        } else if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t length = readlink(full.c_str(), target, sizeof target);
            entry.content = QByteArray(target, length > 0 ? int(length) : 0);
        }
        tree[rel] = entry;
        if (S_ISDIR(info.st_mode))
            walk(full, rel, tree);
    }
    closedir(dir);
}

inline Tree take(const QString &root)
{
    Tree tree;
    struct stat info;
    const std::string path = root.toStdString();
    if (lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        // The root itself is a file or a link where a folder belongs.
        Entry entry;
        entry.type = info.st_mode & S_IFMT;
        entry.size = S_ISREG(info.st_mode) ? info.st_size : 0;
        entry.content = S_ISREG(info.st_mode) ? hashOf(path, info.st_size) : QByteArray();
        tree["."] = entry;
        return tree;
    }
    walk(path, std::string(), tree);
    return tree;
}

#endif

inline QString printable(const std::string &name)
{
    return QString::fromUtf8(QByteArray::fromStdString(name).toPercentEncoding("/ "));
}

// What `before` held and `after` lost or changed, and what `after` added
// other than folders named "Default" (every listing makes the one it shows)
// and the allowed ones. Empty when nothing else changed.
inline QStringList differences(const Tree &before, const Tree &after,
                               const QStringList &allowedNewFolders = {})
{
    QStringList problems;
    for (const auto &[name, entry] : before) {
        const auto found = after.find(name);
        if (found == after.end())
            problems << QStringLiteral("gone: ") + printable(name);
        else if (!(found->second == entry))
            problems << QStringLiteral("changed: ") + printable(name);
    }
    for (const auto &[name, entry] : after) {
        if (before.count(name))
            continue;
        const QString path = QString::fromStdString(name);
        const bool allowed = entry.type == S_IFDIR
            && (path == QLatin1String("Default") || path.endsWith(QLatin1String("/Default"))
                || allowedNewFolders.contains(path));
        if (!allowed)
            problems << QStringLiteral("new: ") + printable(name);
    }
    return problems;
}

#ifdef Q_OS_WIN
inline void removeTree(const QString &root)
{
    // QDir("") is the working directory: never remove that for an unset root.
    if (root.isEmpty())
        return;
    // Links are removed themselves; what they point to stays.
    if (!QDir(root).removeRecursively())
        QFile::remove(root);
}
#else
// Removes a tree whatever its names; QDir skips those it cannot decode.
// Only ever the test's own temporary home or something below it.
inline void removeTree(const QString &root)
{
    const QString home = TestSupport::IsolatedHome::isolatedHomePath();
    const QString clean = QDir::cleanPath(root);
    if (home.isEmpty() || (clean != home && !clean.startsWith(home + QLatin1Char('/'))))
        qFatal("Refusing to remove %s: it is not inside the test's temporary home", qPrintable(root));
    nftw(
        root.toLocal8Bit().constData(),
        [](const char *path, const struct stat *, int type, FTW *) {
            if (type == FTW_DP)
                rmdir(path);
            else
                unlink(path);
            return 0; // on with the rest, whatever could not go
        },
        16, FTW_DEPTH | FTW_PHYS);
}
#endif

} // namespace TreeSnapshot

// Fails the test with every difference listed, one per line.
#define QVERIFY_TREE_UNCHANGED(differencesExpression)                                  \
    do {                                                                                \
        const QStringList treeProblems = (differencesExpression);                      \
        QVERIFY2(treeProblems.isEmpty(), qPrintable(treeProblems.join(QLatin1Char('\n')))); \
    } while (false)
