#include "library/fileidentity.h"

#include <QDir>

#include <windows.h>

FileIdentity identityOf(const QString &path)
{
    // No access asked and every sharing mode allowed: asking must not stand
    // in the way of another program that opens, renames or deletes the file.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known)
        return {};
    return {quint64(info.dwVolumeSerialNumber),
            (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}
