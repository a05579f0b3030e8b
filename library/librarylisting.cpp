#include "library/librarylisting.h"

#include <QDir>

namespace LibraryListing {

const QString defaultEntry = QStringLiteral("Default");

namespace {

QDir existingDirectory(const QString &path)
{
    QDir directory(path);
    if (!directory.exists())
        directory.mkpath(directory.absolutePath());
    return directory;
}

} // namespace

QStringList entryNames(const QString &directoryPath)
{
    QStringList names = existingDirectory(directoryPath)
                            .entryList(QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(defaultEntry);
    names.prepend(defaultEntry);
    return names;
}

QStringList snippetNames(const QString &categoryPath)
{
    QStringList names = existingDirectory(categoryPath)
                            .entryList({QStringLiteral("*.spt")},
                                       QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (QString &name : names)
        name.chop(4);
    return names;
}

} // namespace LibraryListing
