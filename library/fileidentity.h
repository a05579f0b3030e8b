#pragma once

#include <QString>
#include <QtGlobal>

// Which file stands at a path right now. Another program that saves by
// writing a new file and renaming it over the old one leaves the name and
// perhaps the size alike, but never the identity.
struct FileIdentity
{
    quint64 device = 0;
    quint64 file = 0;
    qint64 size = -1; // -1: nothing there, or it could not be asked

    bool isValid() const { return size >= 0; }
    bool operator==(const FileIdentity &other) const
    {
        return isValid() && device == other.device && file == other.file && size == other.size;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

// The entry itself, never what a link points to.
FileIdentity identityOf(const QString &path);
