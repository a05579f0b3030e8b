#include "library/platform.h"

#include <QFile>

#include <gio/gio.h>

// Apart from the rest of platform_posix.cpp: a program that never trashes
// (the terminal tool) links no GIO and starts without loading it.
namespace Platform {

bool moveToTrash(const QString &path)
{
    // Qt 6.4's own trashing hangs or misplaces files when the trash folders
    // are broken. The local file system directly: the default one may start
    // a session bus client, and a trash of plain files needs none.
    GFile *file = g_vfs_get_file_for_path(g_vfs_get_local(), QFile::encodeName(path).constData());
    GError *error = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(file);
    return trashed;
}

} // namespace Platform
