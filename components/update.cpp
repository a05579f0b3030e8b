#include "components/update.h"

#include "components/updatecheck.h"
#include "components/updatefeed.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QUrl>

#ifndef QUILLORY_UPDATE_FEED_URL
#define QUILLORY_UPDATE_FEED_URL ""
#endif

namespace {

struct Tr
{
    Q_DECLARE_TR_FUNCTIONS(Update)
};

QString configuredFeed()
{
    // Set but empty still wins, so a build with a feed can be switched off.
    if (qEnvironmentVariableIsSet("QUILLORY_UPDATE_FEED"))
        return qEnvironmentVariable("QUILLORY_UPDATE_FEED").trimmed();
    return QStringLiteral(QUILLORY_UPDATE_FEED_URL).trimmed();
}

QString describe(const UpdateOutcome &outcome)
{
    return UpdateFeed::describe(outcome, QCoreApplication::applicationName(),
                                QCoreApplication::applicationVersion());
}

void prepare(QMessageBox *box)
{
    box->setTextFormat(Qt::RichText);
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
}

void show(QMessageBox *box, const UpdateOutcome &outcome)
{
    box->setIcon(outcome.kind == UpdateOutcome::Kind::Failed ? QMessageBox::Warning
                                                             : QMessageBox::Information);
    box->setText(describe(outcome));
    box->setStandardButtons(QMessageBox::Ok);
}

// A notice parented to a dialog would vanish with that dialog.
QWidget *noticeParent()
{
    QWidget *window = QApplication::activeWindow();
    while (qobject_cast<QDialog *>(window) && window->parentWidget())
        window = window->parentWidget()->window();
    return window;
}

} // namespace

Update *Update::getUpdater()
{
    static Update updater;
    return &updater;
}

Update::Update() : m_timeout(std::chrono::seconds(5)) {}

Update::~Update() = default;

void Update::autoCheck()
{
    if (m_autoCheck || !QCoreApplication::instance())
        return;
    const QString feed = configuredFeed();
    if (feed.isEmpty())
        return;
    const QUrl url(feed, QUrl::StrictMode);
    if (!UpdateFeed::isAllowedUrl(url))
        return;

    // Owned by the application object, so a check still running at exit
    // goes away with the event loop it needs.
    auto *check = new UpdateCheck(url, QCoreApplication::applicationVersion(), m_timeout,
                                  QCoreApplication::instance());
    m_autoCheck = check;
    QObject::connect(check, &UpdateCheck::finished, check, [this, check](const UpdateOutcome &outcome) {
        m_autoCheck = nullptr;
        check->deleteLater();
        if (outcome.kind == UpdateOutcome::Kind::NewerAvailable)
            notify(outcome);
    });
    check->start();
}

void Update::manualCheck()
{
    if (m_manualBox) {
        m_manualBox->raise();
        m_manualBox->activateWindow();
        return;
    }

    QMessageBox box(QApplication::activeWindow());
    m_manualBox = &box;
    box.setWindowTitle(Tr::tr("Update"));
    prepare(&box);

    const QString feed = configuredFeed();
    if (feed.isEmpty()) {
        show(&box, UpdateOutcome());
    } else {
        box.setIcon(QMessageBox::Information);
        box.setText(Tr::tr("<p>Checking for updates to %1 %2…</p>")
                            .arg(QCoreApplication::applicationName().toHtmlEscaped(),
                                 QCoreApplication::applicationVersion().toHtmlEscaped()));
        box.setStandardButtons(QMessageBox::Cancel);
        // A child of the box: cancelling destroys the box and with it the check.
        auto *check = new UpdateCheck(QUrl(feed, QUrl::StrictMode),
                                      QCoreApplication::applicationVersion(), m_timeout, &box);
        QObject::connect(check, &UpdateCheck::finished, &box,
                         [&box](const UpdateOutcome &outcome) { show(&box, outcome); });
        check->start();
    }
    box.exec();
}

bool Update::isAutoCheckRunning() const
{
    return !m_autoCheck.isNull();
}

void Update::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout = timeout;
}

void Update::notify(const UpdateOutcome &outcome)
{
    if (m_notice)
        m_notice->close();

    auto *box = new QMessageBox(noticeParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An unparented notice must not keep the program running once the
    // main window has closed.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(Tr::tr("Update available"));
    prepare(box);
    show(box, outcome);
    box->show();
    m_notice = box;
}
