#include "app/startup.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Startup", text);
}

// Why opening `path` could wait for ever, or an empty string when a plain
// open of it cannot: a regular file, or nothing at all. A settings file may
// be a link to one; a lock never is, and QLockFile waits for ever on a link
// that leads nowhere, since it can neither create nor remove what is there.
QString whyNotSafe(const QString &path, bool followLinks)
{
    struct stat info;
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0) {
        const int error = errno;
        return error == ENOENT || error == ENOTDIR ? QString() : qt_error_string(error);
    }
    if (S_ISREG(info.st_mode))
        return QString();
    if (S_ISDIR(info.st_mode))
        return tr("it is a folder");
    if (S_ISLNK(info.st_mode))
        return tr("it is a link");
    return tr("it is not a regular file (a pipe, device or socket)");
}

} // namespace

namespace PlatformStartup {

QStringList commandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return arguments;
}

void prepareThreads()
{
    // A save over the per-process file-size limit must fail with "File too
    // large" and keep the typed text, not end the program; the signal goes
    // to whichever thread writes.
    std::signal(SIGXFSZ, SIG_IGN);
}

QString keepSettingsFromBlocking()
{
    // The files QSettings reads, the application's before the
    // organisation's, and the lock it takes beside the one it writes.
    const QString organization = QCoreApplication::organizationName();
    const QString application = organization + QLatin1Char('/')
        + QCoreApplication::applicationName() + QStringLiteral(".conf");
    const QString organizationWide = organization + QStringLiteral(".conf");
    const QString user =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/');
    const QString system = QLibraryInfo::path(QLibraryInfo::SettingsPath) + QLatin1Char('/');
    const QString written = user + application;
    const QString lock = written + QStringLiteral(".lock");
    for (const QString &path : {written, lock, user + organizationWide, system + application,
                                system + organizationWide}) {
        const QString reason = whyNotSafe(path, path != lock);
        if (reason.isEmpty())
            continue;
        // No folder can be made below a device: QSettings finds nothing to
        // read there and gives up each write before it takes its lock.
        const QString nowhere = QStringLiteral("/dev/null");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, nowhere);
        return tr("The settings in \"%1\" cannot be used: %2. Quillory starts without the "
                  "remembered font, window size and selection, and remembers nothing until "
                  "it is started again with a regular file or nothing in that place.")
            .arg(path, reason);
    }
    return QString();
}

} // namespace PlatformStartup
