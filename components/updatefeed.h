#pragma once

// The parts of the update check that need neither the network nor a dialog:
// which feed addresses are acceptable, what a feed document must contain, how
// its version compares with the running one, and what the user is told.

#include <QString>
#include <QUrl>

class QByteArray;
class QVersionNumber;

// What one check found out.
struct UpdateOutcome
{
    enum class Kind { NotConfigured, UpToDate, NewerAvailable, Failed };

    Kind kind = Kind::NotConfigured;
    QString newestVersion; // as the feed wrote it
    QUrl downloadPage;
    QString failure; // why the check failed, as a sentence fragment

    static UpdateOutcome failed(const QString &why);
};

namespace UpdateFeed {

// A feed is a few dozen bytes; anything much larger is a misconfigured or
// hostile server, and is refused before it fills memory.
constexpr qint64 maximumSize = 64 * 1024;

// "localhost" or an address in 127.0.0.0/8 or ::1.
bool isLoopbackHost(const QString &host);

// HTTPS anywhere; plain HTTP only to this computer, where nobody can alter
// the answer on its way.
bool isAllowedUrl(const QUrl &url);

// The whole text must be a version number; "1.2-beta" or "v2" give a null
// version rather than a truncated one that might compare as newer.
QVersionNumber parseVersion(const QString &text);

// Judges a fetched feed document against the running version.
UpdateOutcome judge(const QByteArray &document, const QString &runningVersion);

// The message for the user, as rich text (feed data is escaped).
QString describe(const UpdateOutcome &outcome, const QString &program,
                 const QString &runningVersion);

} // namespace UpdateFeed
