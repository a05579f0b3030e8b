#include "library/libraryedits.h"

#include "library/librarypaths.h"
#include "library/platform.h"

#include <QFile>
#include <QFileInfo>

// Apart from the other edits: the terminal tool, which adds but never
// removes, then links nothing of the desktop's trash.
namespace LibraryEdits {

using LibraryPaths::isTaken;

Removal removeToTrash(const QString &path)
{
    const QFileInfo info(path);
    // A folder named like the snippet may stand where its file was.
    if (info.isDir() || !isTaken(info))
        return Removal::Failed;
    if (Platform::moveToTrash(path))
        return Removal::Trashed;
    // No trash, or a broken one (no room for its record, a file where one
    // of its folders belongs): deleting is what the user asked for anyway.
    return QFile::remove(path) ? Removal::Deleted : Removal::Failed;
}

bool removeFile(const QString &path)
{
    return removeToTrash(path) != Removal::Failed;
}

} // namespace LibraryEdits
