#include "ui/finddialog.h"

#include "library/librarypaths.h"
#include "library/librarypicture.h"
#include "library/snippetfile.h"
#include "ui/findresults.h"
#include "ui/findsearch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>

FindDialog::FindDialog(QWidget *parent)
    : QDialog(parent)
    , lineEditFind(new QLineEdit(this))
    , listViewResults(new QListView(this))
    , labelStatus(new QLabel(this))
    , model(new FindResultsModel(this))
    , runner(new FindSearch(this))
{
    setObjectName(QStringLiteral("findDialog"));
    lineEditFind->setObjectName(QStringLiteral("lineEditFind"));
    listViewResults->setObjectName(QStringLiteral("listViewResults"));
    labelStatus->setObjectName(QStringLiteral("labelStatus"));
    setWindowTitle(tr("Find a Snippet"));
    setModal(false);
    resize(560, 440);

    lineEditFind->setPlaceholderText(tr("Words in a name, synopsis or body"));
    lineEditFind->setClearButtonEnabled(true);
    listViewResults->setModel(model);
    listViewResults->setItemDelegate(new FindResultDelegate(listViewResults));
    listViewResults->setUniformItemSizes(true);
    // Laid out a hundred rows per pass of the event loop: 100,000 rows at
    // once would hold the window for tens of milliseconds at every batch.
    listViewResults->setLayoutMode(QListView::Batched);
    listViewResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listViewResults->setSelectionMode(QAbstractItemView::SingleSelection);
    listViewResults->setFocusPolicy(Qt::NoFocus); // keys reach it through the line edit
    labelStatus->setTextFormat(Qt::PlainText);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lineEditFind);
    layout->addWidget(listViewResults);
    layout->addWidget(labelStatus);

    lineEditFind->installEventFilter(this);
    connect(lineEditFind, &QLineEdit::textChanged, this, &FindDialog::search);
    connect(runner, &FindSearch::found, this, [this](const QList<LibrarySearch::Hit> &hits) {
        if (clearOnNextResults) {
            model->clear();
            clearOnNextResults = false;
        }
        model->add(hits);
        selectFirstUnlessMoved();
        labelStatus->setText(readingNote() + tr("Searching… %1 found").arg(model->rowCount()));
    });
    connect(runner, &FindSearch::finished, this, [this](const QStringList &troubles) {
        if (clearOnNextResults) {
            model->clear();
            clearOnNextResults = false;
        }
        const int count = model->rowCount();
        QString status = count == 0 ? tr("No snippet found")
            : count == 1            ? tr("1 snippet")
                                    : tr("%1 snippets").arg(count);
        if (!troubles.isEmpty())
            status += tr(" (%1 not searched)").arg(troubles.size());
        labelStatus->setText(readingNote() + status);
        labelStatus->setToolTip(troubles.isEmpty()
                                    ? QString()
                                    : FindResultsModel::plainToolTip(troubles.join(QLatin1Char('\n'))));
        listReady = true;
        if (const std::optional<bool> copy = std::exchange(pendingChoice, std::nullopt))
            chooseCurrent(*copy);
    });
    connect(listViewResults, &QListView::clicked, this, [this] { userMoved = true; });
    connect(listViewResults, &QListView::activated, this, [this] { chooseCurrent(false); });
}

void FindDialog::setPicture(LibraryPicture *libraryPicture)
{
    if (picture == libraryPicture)
        return;
    if (picture) {
        disconnect(picture, nullptr, this, nullptr);
        if (picture->parent() == this)
            delete picture;
    }
    picture = libraryPicture;
    // A change on disk, or more of the library read: the list follows.
    connect(picture, &LibraryPicture::updated, this, [this] {
        if (isVisible())
            search();
    });
}

QString FindDialog::readingNote() const
{
    const LibrarySnapshot &library = picture->snapshot();
    if (library.isComplete())
        return QString();
    return tr("Reading the library… %L1 of %L2: ").arg(library.read).arg(library.total);
}

void FindDialog::present(const QString &libraryRoot, const std::optional<QString> &query)
{
    root = libraryRoot;
    if (!picture || picture->root() != root) {
        auto *own = new LibraryPicture(root, this);
        setPicture(own);
        own->start();
    }
    // Setting the same text again starts no search; the library may have
    // changed since, so search in any case.
    const QSignalBlocker quiet(lineEditFind);
    if (query)
        lineEditFind->setText(*query);
    lineEditFind->selectAll();
    search();
    show();
    raise();
    activateWindow();
    lineEditFind->setFocus(Qt::OtherFocusReason);
}

void FindDialog::search()
{
    userMoved = false;
    clearOnNextResults = true;
    listReady = false;
    labelStatus->setText(readingNote() + tr("Searching…"));
    labelStatus->setToolTip(QString());
    runner->start(picture->snapshot(), lineEditFind->text());
}

void FindDialog::selectFirstUnlessMoved()
{
    if (userMoved || model->rowCount() == 0)
        return;
    listViewResults->setCurrentIndex(model->index(0));
    listViewResults->scrollToTop();
}

bool FindDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != lineEditFind || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        userMoved = true;
        QCoreApplication::sendEvent(listViewResults, key);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        chooseCurrent(key->modifiers() & Qt::ControlModifier);
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}

void FindDialog::hideEvent(QHideEvent *event)
{
    runner->cancel();
    pendingChoice.reset();
    QDialog::hideEvent(event);
}

void FindDialog::chooseCurrent(bool copy)
{
    if (!listReady) {
        pendingChoice = copy; // never a row of an earlier query
        return;
    }
    const QModelIndex current = listViewResults->currentIndex();
    if (!current.isValid())
        return;
    const LibrarySearch::Hit hit = model->hit(current.row());
    if (!copy) {
        hide();
        Q_EMIT snippetChosen(hit.language, hit.category, hit.name);
        return;
    }
    // Read now: the file may have changed since the search saw it.
    const QString path = LibraryPaths::snippetFilePath(
        LibraryPaths::categoryPath(root, hit.language, hit.category), hit.name);
    const SnippetFile::ReadResult read = SnippetFile::load(path);
    if (read.status != SnippetFile::ReadStatus::Loaded) {
        labelStatus->setText(tr("\"%1\" was not copied: %2").arg(hit.name, read.errorString));
        return;
    }
    QGuiApplication::clipboard()->setText(read.text.body);
    hide();
}
