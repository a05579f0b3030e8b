#include "components/updatecheck.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVariant>

namespace {

constexpr int maximumRedirects = 5;

QString tooLarge()
{
    return UpdateCheck::tr("the update feed is larger than %1 KiB")
            .arg(UpdateFeed::maximumSize / 1024);
}

} // namespace

UpdateCheck::UpdateCheck(const QUrl &feed, const QString &runningVersion,
                         std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent), m_feed(feed), m_runningVersion(runningVersion), m_timeout(timeout)
{
    m_deadline.setSingleShot(true);
    m_deadline.callOnTimeout(this, [this] {
        abortWith(tr("the update server did not answer within %1 seconds")
                          .arg(m_timeout.count() / 1000.0));
    });
}

UpdateCheck::~UpdateCheck()
{
    m_done = true;
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void UpdateCheck::start()
{
    if (m_started || m_done)
        return;
    m_started = true;

    if (!UpdateFeed::isAllowedUrl(m_feed)) {
        const QString why = tr("the update feed address \"%1\" is not allowed: it must use HTTPS, "
                               "or HTTP to this computer")
                                    .arg(m_feed.toDisplayString());
        QTimer::singleShot(0, this, [this, why] { finish(UpdateOutcome::failed(why)); });
        return;
    }
    m_network = new QNetworkAccessManager(this);
    // The deadline covers the whole check, redirects included.
    m_deadline.start(m_timeout);
    get(m_feed);
}

void UpdateCheck::get(const QUrl &url)
{
    // A proxy would turn "this computer" into some other one.
    m_network->setProxy(UpdateFeed::isLoopbackHost(url.host())
                                ? QNetworkProxy(QNetworkProxy::NoProxy)
                                : QNetworkProxy(QNetworkProxy::DefaultProxy));

    QNetworkRequest request(url);
    // Redirects are followed here, each one checked before anything is
    // sent to its target.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1/%2").arg(QCoreApplication::applicationName(),
                                                  QCoreApplication::applicationVersion()));
    request.setRawHeader("Accept", "application/json");

    m_body.clear();
    m_reply = m_network->get(request);
    // Bounds what Qt buffers before onReadyRead gets to count it.
    m_reply->setReadBufferSize(UpdateFeed::maximumSize + 1);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateCheck::onMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateCheck::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onReplyFinished);
}

void UpdateCheck::onMetaDataChanged()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > UpdateFeed::maximumSize)
        abortWith(tooLarge());
}

void UpdateCheck::onReadyRead()
{
    m_body += m_reply->readAll();
    if (m_body.size() > UpdateFeed::maximumSize)
        abortWith(tooLarge());
}

void UpdateCheck::onReplyFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();

    if (!m_abortReason.isEmpty()) {
        finish(UpdateOutcome::failed(m_abortReason));
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() != QNetworkReply::NoError && !status.isValid()) {
        finish(UpdateOutcome::failed(
                tr("the update server could not be reached (%1)").arg(reply->errorString())));
        return;
    }
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (status.toInt() / 100 == 3 && target.isValid()) {
        follow(reply->url().resolved(target.toUrl()));
        return;
    }
    if (status.toInt() != 200) {
        const QString phrase =
                reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        finish(UpdateOutcome::failed(
                tr("the update server answered %1 %2").arg(status.toInt()).arg(phrase).trimmed()));
        return;
    }
    m_body += reply->readAll();
    if (m_body.size() > UpdateFeed::maximumSize) {
        finish(UpdateOutcome::failed(tooLarge()));
        return;
    }
    m_deadline.stop();
    finish(UpdateFeed::judge(m_body, m_runningVersion));
}

void UpdateCheck::follow(const QUrl &target)
{
    // A redirect must not downgrade HTTPS, nor lead anywhere a feed could
    // not have been configured to be.
    if (target.scheme().compare(m_feed.scheme(), Qt::CaseInsensitive) != 0
        || !UpdateFeed::isAllowedUrl(target)) {
        finish(UpdateOutcome::failed(
                tr("the update feed redirected to \"%1\", which is not allowed")
                        .arg(target.toDisplayString())));
        return;
    }
    if (++m_redirects > maximumRedirects) {
        finish(UpdateOutcome::failed(
                tr("the update feed redirected more than %1 times").arg(maximumRedirects)));
        return;
    }
    get(target);
}

void UpdateCheck::abortWith(const QString &why)
{
    if (!m_reply || !m_abortReason.isEmpty())
        return;
    m_abortReason = why;
    m_reply->abort(); // emits finished() before it returns
}

void UpdateCheck::finish(const UpdateOutcome &outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    Q_EMIT finished(outcome);
}
