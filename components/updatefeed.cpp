#include "components/updatefeed.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVersionNumber>

namespace {

struct Tr
{
    Q_DECLARE_TR_FUNCTIONS(Update)
};

QString link(const QUrl &url)
{
    return QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(QString::fromLatin1(url.toEncoded()).toHtmlEscaped(),
                 url.toDisplayString().toHtmlEscaped());
}

} // namespace

UpdateOutcome UpdateOutcome::failed(const QString &why)
{
    UpdateOutcome outcome;
    outcome.kind = Kind::Failed;
    outcome.failure = why;
    return outcome;
}

namespace UpdateFeed {

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isAllowedUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    return scheme == QLatin1String("http") && isLoopbackHost(url.host());
}

QVersionNumber parseVersion(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    const QVersionNumber version = QVersionNumber::fromString(trimmed, &end);
    if (version.isNull() || end != trimmed.size())
        return {};
    return version;
}

UpdateOutcome judge(const QByteArray &document, const QString &runningVersion)
{
    if (document.size() > maximumSize)
        return UpdateOutcome::failed(Tr::tr("the update feed is larger than %1 KiB")
                                             .arg(maximumSize / 1024));

    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(document, &error);
    if (error.error != QJsonParseError::NoError)
        return UpdateOutcome::failed(
                Tr::tr("the update feed is not valid JSON (%1)").arg(error.errorString()));
    if (!json.isObject())
        return UpdateOutcome::failed(Tr::tr("the update feed is not a JSON object"));
    const QJsonObject feed = json.object();

    const QJsonValue versionValue = feed.value(QLatin1String("version"));
    if (!versionValue.isString())
        return UpdateOutcome::failed(Tr::tr("the update feed names no version"));
    const QString newestText = versionValue.toString().trimmed();
    const QVersionNumber newest = parseVersion(newestText);
    if (newest.isNull())
        return UpdateOutcome::failed(
                Tr::tr("the update feed's version \"%1\" is not a version number")
                        .arg(newestText.left(40)));

    const QUrl page(feed.value(QLatin1String("url")).toString(), QUrl::StrictMode);
    if (!isAllowedUrl(page))
        return UpdateOutcome::failed(Tr::tr("the update feed names no valid download page"));

    const QVersionNumber running = parseVersion(runningVersion);
    if (running.isNull())
        return UpdateOutcome::failed(
                Tr::tr("the running version \"%1\" is not a version number").arg(runningVersion));

    UpdateOutcome outcome;
    // Trailing zeros do not make a release newer: 1.0.0.2.0 is 1.0.0.2.
    outcome.kind = newest.normalized() > running.normalized() ? UpdateOutcome::Kind::NewerAvailable
                                                              : UpdateOutcome::Kind::UpToDate;
    outcome.newestVersion = newestText;
    outcome.downloadPage = page;
    return outcome;
}

QString describe(const UpdateOutcome &outcome, const QString &program,
                 const QString &runningVersion)
{
    const QString running = QStringLiteral("%1 %2").arg(program, runningVersion).toHtmlEscaped();
    switch (outcome.kind) {
    case UpdateOutcome::Kind::NotConfigured:
        return Tr::tr("<p>This is %1.</p><p>This build does not look for updates itself: it gets "
                      "them from the package it was installed with, through your system's "
                      "package manager or software centre.</p>")
                .arg(running);
    case UpdateOutcome::Kind::UpToDate:
        return Tr::tr("<p>%1 is up to date.</p>").arg(running);
    case UpdateOutcome::Kind::NewerAvailable:
        return Tr::tr("<p>Version %1 is available; this is %2.</p><p>Download it from %3</p>")
                .arg(outcome.newestVersion.toHtmlEscaped(), running, link(outcome.downloadPage));
    case UpdateOutcome::Kind::Failed:
        return Tr::tr("<p>This is %1.</p><p>The check for updates failed: %2.</p>")
                .arg(running, outcome.failure.toHtmlEscaped());
    }
    return {};
}

} // namespace UpdateFeed
