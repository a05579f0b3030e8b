#include "library/fileidentity.h"

#include <QFile>

#include <sys/stat.h>

FileIdentity identityOf(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size)};
}
