#include "ui/mainwindow.h"

#include "components/update.h"
#include "glass/composition.h"
#include "library/libraryedits.h"
#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/librarypicture.h"
#include "library/snippetfile.h"
#include "syntax/snippethighlighter.h"
#include "syntax/syntaxlanguage.h"
#include "ui/aboutbox.h"
#include "ui/codeedit.h"
#include "ui/finddialog.h"
#include "ui/editsession.h"
#include "ui/formlook.h"
#include "ui/mainwindowform.h"
#include "ui/plainmessage.h"
#include "ui/settingskeys.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFont>
#include <QFontDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QSet>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

QString rememberedName(const QString &key, const QString &fallback)
{
    const QString name = QSettings().value(key, fallback).toString();
    return name.isEmpty() ? fallback : name;
}

void remember(const QString &key, const QString &name)
{
    QSettings().setValue(key, name);
}

// The body font as stored. A size that no font dialog offers (none at all, a
// million points, not a number) would leave the body unreadable, so such a
// value counts as no font, like one that does not convert to a font.
QFont storedBodyFont(const QSettings &settings, const QFont &current)
{
    const QFont font = settings.value(SettingsKeys::font, current).value<QFont>();
    const qreal points = font.pointSizeF();
    const int pixels = font.pixelSize();
    const bool readable = (points > 0 && points <= 1000) || (pixels > 0 && pixels <= 1000);
    return readable ? font : QFont();
}

// Clearing and refilling the box emits currentIndexChanged, and every
// emission runs the level below synchronously. The remembered entry is chosen
// last, so its pass is the one that decides what the lower boxes hold.
void refill(QComboBox *box, const QStringList &names, const QString &wanted)
{
    box->clear();
    box->insertItems(box->count(), names);
    const qsizetype index = wanted.isEmpty() ? -1 : names.indexOf(wanted);
    if (index >= 0)
        box->setCurrentIndex(int(index));
}

// The names on disk, without a signal. An entry the fields came from that is
// gone stays listed, and current, until the user chooses another: the fields
// keep showing where a Save will write them again.
void refillKeeping(QComboBox *box, QStringList names, const QString &current, bool withDefault)
{
    if (withDefault) {
        names.removeAll(LibraryListing::defaultEntry);
        names.prepend(LibraryListing::defaultEntry);
    }
    if (!current.isNull() && !names.contains(current))
        names.insert(std::lower_bound(names.begin() + (withDefault ? 1 : 0), names.end(), current),
                     current);
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(names);
    box->setCurrentIndex(current.isNull() ? -1 : int(names.indexOf(current)));
}

QString comparable(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

void setCurrentIndexQuietly(QComboBox *box, int index)
{
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , form(new MainWindowForm)
    , language{&MainWindowForm::comboBoxLanguage, SettingsKeys::language,
               QStringLiteral("Language"), &MainWindow::libraryRootPath,
               &MainWindow::listLanguages, false}
    , category{&MainWindowForm::comboBoxCategory, SettingsKeys::category,
               QStringLiteral("Category"), &MainWindow::currentLanguagePath,
               &MainWindow::listCategories, false}
    , snippet{&MainWindowForm::comboBoxSnippet, SettingsKeys::snippet, QStringLiteral("Snippet"),
              &MainWindow::currentCategoryPath, &MainWindow::listSnippets, true}
{
    form->setupForm(this);
    session = new EditSession(form->lineEditSynopsis, form->textEditSnippet, this);
    session->askNewName = [this]() -> std::optional<QString> {
        const QString title = QStringLiteral("Add Snippet");
        const std::optional<QString> name =
            askEntryName(title, QStringLiteral("Please enter the snippet's name."));
        if (name && !isUsableName(snippet, *name, title))
            return std::nullopt;
        return name;
    };
    connect(session, &EditSession::changed, this, &MainWindow::updateTitle);
    connect(session, &EditSession::snippetCreated, this, [this](const QString &name) {
        // Listed and current, so that the next Save writes to it.
        remember(SettingsKeys::snippet, name);
        listSnippets();
    });
    // Attached while the body is empty: each text is then coloured as it is
    // set, never by a pass over a text already laid out.
    highlighter = attachHighlighter(form->textEditSnippet);
    addHelpMenu(this);
    updateUndoRemove();
#if QT_CONFIG(sessionmanager)
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &MainWindow::commitSessionData);
#endif

    // Without glass, the translucent background of the window's sheet would
    // show whatever lies behind the window. Set before the lists are filled:
    // a new sheet re-lays out every combo box's popup list, which costs
    // milliseconds per thousand snippets once they are listed.
    FormLook::applyCentralSheet(form->centralWidget, isCompositionEnabled());

    listLanguages();

    QSettings settings;
    form->textEditSnippet->setFont(storedBodyFont(settings, form->textEditSnippet->font()));
    restoreGeometry(settings.value(SettingsKeys::geometry).toByteArray());
    // Read behind the shown window, after the listings made the first folders.
    libraryPicture = new LibraryPicture(libraryRootPath(), this);
    connect(libraryPicture, &LibraryPicture::changedOnDisk, this, &MainWindow::followDisk);
    libraryPicture->start();
}

MainWindow::~MainWindow()
{
    delete form;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!session->mayReplace()) {
        event->ignore();
        return;
    }
    QSettings settings;
    settings.setValue(SettingsKeys::geometry, saveGeometry());
    QMainWindow::closeEvent(event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        form->retranslateForm(this);
        updateTitle();
        updateUndoRemove();
    } else if (event->type() == QEvent::PaletteChange) {
        // The desktop switched schemes; the body's highlighter follows its
        // own palette change.
        FormLook::followDesktopScheme();
        FormLook::applyCentralSheet(form->centralWidget, isCompositionEnabled());
    }
}

void MainWindow::commitSessionData(QSessionManager &manager)
{
    // As editors do at a logout that gives no leave to ask: the edits are
    // kept on disk, but never over what another program saved meanwhile.
    if (!manager.allowsInteraction()) {
        session->saveQuietly();
        return;
    }
    const bool mayEnd = session->mayReplace();
    manager.release();
    if (!mayEnd)
        manager.cancel();
}

bool MainWindow::mayLeave(QComboBox *box, const QString &shownEntry, int index)
{
    if (!session->isModified())
        return true;
    // While the user decides, the boxes show where the edits came from, so
    // that Save writes them there and Cancel has nothing to undo.
    setCurrentIndexQuietly(box, box->findText(shownEntry));
    if (!session->mayReplace())
        return false;
    setCurrentIndexQuietly(box, index);
    return true;
}

void MainWindow::updateTitle()
{
    const QString shownName = session->entry().snippet;
    if (shownName.isNull()) {
        setWindowTitle(session->isModified() ? tr("Quillory") + QLatin1String("[*]")
                                             : tr("Quillory"));
    } else {
        // A "[*]" in the name is text, not the marker.
        QString name = shownName;
        name.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
        setWindowTitle(tr("%1[*] \u2014 Quillory").arg(name));
    }
    setWindowModified(session->isModified());
}

QString MainWindow::libraryRootPath() const
{
    return LibraryPaths::rootPath();
}

QString MainWindow::currentLanguagePath() const
{
    return LibraryPaths::languagePath(libraryRootPath(), form->comboBoxLanguage->currentText());
}

QString MainWindow::currentCategoryPath() const
{
    return LibraryPaths::categoryPath(libraryRootPath(), form->comboBoxLanguage->currentText(),
                                      form->comboBoxCategory->currentText());
}

// Held while a listing fills its box. The passes that the box's signal runs
// through the levels below list (and so create) their folders, but neither
// ask about the edits nor load a snippet: a pass through "Default" on the way
// to the remembered entry would load and remember a snippet the listing does
// not end on. The outermost listing loads the one it ends on.
class MainWindow::ListingPass
{
public:
    explicit ListingPass(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~ListingPass() { --m_depth; }
    ListingPass(const ListingPass &) = delete;
    ListingPass &operator=(const ListingPass &) = delete;

private:
    int &m_depth;
};

void MainWindow::listLanguages()
{
    const QString wanted = rememberedName(SettingsKeys::language, LibraryListing::defaultEntry);
    {
        const ListingPass pass(listingDepth);
        refill(form->comboBoxLanguage, LibraryListing::entryNames(libraryRootPath()), wanted);
    }
    if (listingDepth == 0)
        loadSnippet();
}

void MainWindow::listCategories()
{
    const QString wanted = rememberedName(SettingsKeys::category, LibraryListing::defaultEntry);
    {
        const ListingPass pass(listingDepth);
        refill(form->comboBoxCategory, LibraryListing::entryNames(currentLanguagePath()), wanted);
    }
    if (listingDepth == 0)
        loadSnippet();
}

void MainWindow::listSnippets()
{
    const QString wanted = rememberedName(SettingsKeys::snippet, QString());
    {
        const ListingPass pass(listingDepth);
        refill(form->comboBoxSnippet, LibraryListing::snippetNames(currentCategoryPath()), wanted);
    }
    if (listingDepth == 0)
        loadSnippet();
}

void MainWindow::loadSnippet()
{
    const EditSession::Entry entry{form->comboBoxLanguage->currentText(),
                                   form->comboBoxCategory->currentText(),
                                   form->comboBoxSnippet->currentText()};
    const QString path = LibraryPaths::snippetFilePath(currentCategoryPath(), entry.snippet);
    if (!session->keepsEditsFor(path))
        highlighter->setLanguage(SyntaxLanguage::forSnippet(entry.language, entry.snippet));
    // The focus stays where it is: type-ahead in a box loads snippets on the
    // way, and what the user types next belongs to the box.
    if (!session->show(entry, path))
        return;
    QSettings settings;
    settings.setValue(SettingsKeys::language, entry.language);
    settings.setValue(SettingsKeys::category, entry.category);
    settings.setValue(SettingsKeys::snippet, entry.snippet);
}

std::optional<QString> MainWindow::askEntryName(const QString &title, const QString &label)
{
    // Without the flag, Qt answers a null string both for Cancel and for an
    // accepted empty field.
    bool accepted = false;
    const QString name = QInputDialog::getText(this, title, label, QLineEdit::Normal, QString(),
                                               &accepted);
    if (!accepted)
        return std::nullopt;
    return name.isNull() ? QLatin1String("") : name;
}

bool MainWindow::isUsableName(const Level &level, const QString &name, const QString &title)
{
    const LibraryPaths::NameProblem problem = level.holdsFiles
        ? LibraryPaths::checkSnippetName(name)
        : LibraryPaths::checkName(name);
    if (problem == LibraryPaths::NameProblem::None)
        return true;
    PlainMessage::warn(this, title, LibraryPaths::whyRefused(name, problem));
    return false;
}

void MainWindow::on_pushButtonSaveSnippet_clicked()
{
    session->save();
}

void MainWindow::on_pushButtonAddLanguage_clicked()
{
    addEntry(language);
}

void MainWindow::on_pushButtonAddCategory_clicked()
{
    addEntry(category);
}

void MainWindow::on_pushButtonAddSnippet_clicked()
{
    addEntry(snippet);
}

void MainWindow::on_pushButtonRemoveLanguage_clicked()
{
    removeCurrent(language);
}

void MainWindow::on_pushButtonRemoveCategory_clicked()
{
    removeCurrent(category);
}

void MainWindow::on_pushButtonRemoveSnippet_clicked()
{
    removeCurrent(snippet);
}

void MainWindow::on_comboBoxSnippet_currentIndexChanged(int index)
{
    if (listingDepth == 0 && mayLeave(form->comboBoxSnippet, session->entry().snippet, index))
        loadSnippet();
}

void MainWindow::on_comboBoxCategory_currentIndexChanged(int index)
{
    if (listingDepth > 0 || mayLeave(form->comboBoxCategory, session->entry().category, index))
        listSnippets();
}

void MainWindow::on_comboBoxLanguage_currentIndexChanged(int index)
{
    if (listingDepth > 0 || mayLeave(form->comboBoxLanguage, session->entry().language, index))
        listCategories();
}

void MainWindow::on_menuBar_triggered(QAction *action)
{
    if (action == form->actionAdd_Language)
        on_pushButtonAddLanguage_clicked();
    else if (action == form->actionAdd_Cateegory)
        on_pushButtonAddCategory_clicked();
    else if (action == form->actionAdd_Snippet)
        on_pushButtonAddSnippet_clicked();
    else if (action == form->actionQuit)
        close();
    else if (action == form->actionSave)
        on_pushButtonSaveSnippet_clicked();
    else if (action == form->actionUpdate)
        Update::getUpdater()->manualCheck();
    else if (action == form->actionFont)
        chooseFont();
    else if (action == form->actionRename_Language)
        renameCurrent(language);
    else if (action == form->actionRename_Category)
        renameCurrent(category);
    else if (action == form->actionRename_Snippet)
        renameCurrent(snippet);
    else if (action == form->actionFind)
        openFind();
    else if (action == form->actionCopySnippet)
        copySnippet();
    else if (action == form->actionUndo_Remove)
        undoRemove();
}

void MainWindow::showStartupNotice(const QString &text)
{
    if (text.isEmpty())
        return;
    auto *notice = new QMessageBox(QMessageBox::Warning, tr("Settings"), text, QMessageBox::Ok, this);
    notice->setTextFormat(Qt::PlainText);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->open();
}

void MainWindow::openFind(const std::optional<QString> &query)
{
    if (!findDialog) {
        findDialog = new FindDialog(this);
        findDialog->setPicture(libraryPicture);
        connect(findDialog, &FindDialog::snippetChosen, this,
                [this](const QString &language, const QString &category, const QString &name) {
                    // Enter there means "take me to it": the typing goes on here.
                    if (showSnippet(language, category, name))
                        form->textEditSnippet->setFocus(Qt::OtherFocusReason);
                });
    }
    findDialog->present(libraryRootPath(), query);
}

void MainWindow::findFromOutside(const QString &query)
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    openFind(query);
}

bool MainWindow::showSnippet(const QString &language, const QString &category, const QString &name)
{
    if (!session->mayReplace())
        return false;
    remember(SettingsKeys::language, language);
    remember(SettingsKeys::category, category);
    remember(SettingsKeys::snippet, name);
    listLanguages();
    return true;
}

void MainWindow::copySnippet()
{
    if (const std::optional<QString> body = session->copyableBody())
        QGuiApplication::clipboard()->setText(*body);
}

void MainWindow::chooseFont()
{
    QSettings settings;
    const QFont stored = storedBodyFont(settings, form->textEditSnippet->font());
    bool accepted = false;
    const QFont font =
        QFontDialog::getFont(&accepted, stored, this, QStringLiteral("Select Font"));
    if (!accepted)
        return;
    form->textEditSnippet->setFont(font);
    settings.setValue(SettingsKeys::font, font);
}

QString MainWindow::entryPath(const Level &level, const QString &name) const
{
    const QString root = libraryRootPath();
    if (level.holdsFiles)
        return LibraryPaths::snippetFilePath(currentCategoryPath(), name);
    if (&level == &category)
        return LibraryPaths::categoryPath(root, form->comboBoxLanguage->currentText(), name);
    return LibraryPaths::languagePath(root, name);
}

void MainWindow::addEntry(const Level &level)
{
    const QString title = QStringLiteral("Add ") + level.noun;
    const std::optional<QString> name =
        askEntryName(title, QStringLiteral("Please enter the %1's name.").arg(level.noun.toLower()));
    // An emptied dialog is a cancelled one: no entry of no name, and no
    // fallback to "Default" either.
    if (!name || name->isEmpty() || !isUsableName(level, *name, title)
        || !session->mayReplace())
        return;
    const QString path = entryPath(level, *name);
    if (level.holdsFiles)
        LibraryEdits::createEmptyFile(path);
    else
        LibraryEdits::createDirectory(path);
    remember(level.settingsKey, *name);
    (this->*level.relist)();
    if (level.holdsFiles)
        form->lineEditSynopsis->setFocus(Qt::OtherFocusReason);
}

void MainWindow::removeCurrent(const Level &level)
{
    // An empty box has no current entry; its path would name the parent
    // folder, or for snippets the hidden file ".spt".
    const QString name = (form->*level.box)->currentText();
    if (name.isNull())
        return;
    const QString path = entryPath(level, name);
    if (level.holdsFiles) {
        // The snippet's own edits go with it. What Undo Remove brings back
        // is what was read here, whatever the trash holds by then.
        const SnippetFile::Bytes read = SnippetFile::readBytes(path);
        if (LibraryEdits::removeFile(path) && read.status == SnippetFile::ReadStatus::Loaded) {
            lastRemoved = Removed{form->comboBoxLanguage->currentText(),
                                  form->comboBoxCategory->currentText(), name, read.bytes};
            updateUndoRemove();
        }
    } else {
        // Above it, the listing would replace them.
        if (!session->mayReplace())
            return;
        const auto removed = LibraryEdits::removeEmptyTree(path, libraryRootPath());
        if (removed == LibraryEdits::TreeRemoval::HoldsFiles) {
            PlainMessage::warn(this, QStringLiteral("Remove ") + level.noun,
                               tr("\u201c%1\u201d still holds snippets; remove them first.")
                                   .arg(name));
        }
    }
    (this->*level.relist)();
}

void MainWindow::followDisk(const QStringList &folders, const QStringList &files)
{
    pendingFolders += folders;
    pendingFiles += files;
    // Never under an open question or dialog, nor inside a listing: the
    // change waits for them, and nothing here ever asks the user anything.
    if (QApplication::activeModalWidget() || listingDepth > 0) {
        QTimer::singleShot(500, this, [this] { followDisk({}, {}); });
        return;
    }
    QSet<QString> changedFolders;
    for (const QString &folder : std::as_const(pendingFolders))
        changedFolders.insert(comparable(folder));
    QSet<QString> changedFiles;
    for (const QString &file : std::as_const(pendingFiles))
        changedFiles.insert(comparable(file));
    pendingFolders.clear();
    pendingFiles.clear();

    const QString root = libraryRootPath();
    const QString languagePath = currentLanguagePath();
    const QString categoryPath = currentCategoryPath();
    const EditSession::Entry place = session->entry();
    const QString shownPath = LibraryPaths::snippetFilePath(categoryPath, place.snippet);
    const bool shownTouched = changedFiles.contains(comparable(shownPath));
    if (!changedFolders.contains(comparable(root)) && !changedFolders.contains(comparable(languagePath))
        && !changedFolders.contains(comparable(categoryPath)) && !shownTouched)
        return;

    const bool gone = session->shownFileGone();
    const bool changed = session->shownFileChanged();
    if (!session->isModified() && !gone) {
        // The lists and the fields follow the disk; an unchanged snippet
        // keeps its cursor.
        remember(SettingsKeys::language, place.language);
        remember(SettingsKeys::category, place.category);
        remember(SettingsKeys::snippet, place.snippet);
        listLanguages();
        if (changed && session->entry().snippet == place.snippet)
            statusBar()->showMessage(
                tr("\u201c%1\u201d was changed by another program and is shown as it is now.")
                    .arg(place.snippet));
        return;
    }

    // Edits, or a snippet deleted under the fields: they stay as they are,
    // and only the lists follow the disk.
    const auto names = [](const QString &path) {
        return QFileInfo(path).isDir() ? LibraryListing::existingFolderNames(path) : QStringList();
    };
    refillKeeping(form->comboBoxLanguage, names(root), place.language, true);
    refillKeeping(form->comboBoxCategory, names(currentLanguagePath()), place.category, true);
    refillKeeping(form->comboBoxSnippet,
                  QFileInfo(currentCategoryPath()).isDir()
                      ? LibraryListing::snippetNames(currentCategoryPath())
                      : QStringList(),
                  place.snippet, false);
    if (gone) {
        statusBar()->showMessage(tr("\u201c%1\u201d was deleted by another program; Save writes "
                                    "it again.").arg(place.snippet));
    } else if (changed) {
        statusBar()->showMessage(tr("\u201c%1\u201d was changed by another program; Save asks "
                                    "before replacing that version.").arg(place.snippet));
    }
}

void MainWindow::undoRemove()
{
    if (!lastRemoved || !session->mayReplace())
        return;
    const Removed removed = *lastRemoved;
    const QString path = LibraryPaths::snippetFilePath(
        LibraryPaths::categoryPath(libraryRootPath(), removed.language, removed.category),
        removed.name);
    QString why;
    if (LibraryEdits::exists(path)) {
        why = tr("\u201c%1\u201d exists already: the removed snippet was not brought back.")
                  .arg(removed.name);
    } else if (!LibraryEdits::restoreSnippet(path, removed.bytes, &why)) {
        why = tr("\u201c%1\u201d was not brought back: %2").arg(removed.name, why);
    }
    if (!why.isEmpty()) {
        PlainMessage::warn(this, tr("Undo Remove"), why);
        return;
    }
    lastRemoved.reset();
    updateUndoRemove();
    showSnippet(removed.language, removed.category, removed.name);
}

void MainWindow::updateUndoRemove()
{
    form->actionUndo_Remove->setEnabled(lastRemoved.has_value());
    form->actionUndo_Remove->setText(
        lastRemoved ? tr("&Undo Remove \u201c%1\u201d").arg(lastRemoved->name)
                    : tr("&Undo Remove"));
}

void MainWindow::renameCurrent(const Level &level)
{
    const QString title = QStringLiteral("Rename ") + level.noun;
    const std::optional<QString> newName = askEntryName(
        title, QStringLiteral("Please enter the %1's new name.").arg(level.noun.toLower()));
    // An empty name would rename the entry to nothing; treat it like Cancel.
    if (!newName || newName->isEmpty() || !isUsableName(level, *newName, title))
        return;

    const QString parentPath = (this->*level.parentPath)();
    const QString oldName = (form->*level.box)->currentText();
    // Switching to the other entry would drop what the fields hold. Told
    // before the question, so that it is never answered for nothing.
    const auto refuseTakenName = [this, &title, &newName] {
        PlainMessage::warn(this, title, tr("\u201c%1\u201d exists already.").arg(*newName));
    };
    if (LibraryEdits::exists(entryPath(level, *newName)))
        return refuseTakenName();
    // The edits stay with a renamed snippet file; anything else the listing
    // ends on replaces them.
    const QString oldPath = entryPath(level, oldName);
    const bool keepsEdits = level.holdsFiles && session->keepsEditsFor(oldPath)
        && LibraryEdits::exists(oldPath);
    if (!keepsEdits && !session->mayReplace())
        return;
    const LibraryEdits::Renamed renamed = level.holdsFiles
        ? LibraryEdits::renameSnippet(parentPath, oldName, *newName)
        : LibraryEdits::renameFolder(parentPath, oldName, *newName);
    if (renamed == LibraryEdits::Renamed::Exists)
        return refuseTakenName();
    if (keepsEdits) {
        // Nothing moved: the listing's fallback could be another snippet.
        if (renamed != LibraryEdits::Renamed::Moved)
            return;
        session->follow(entryPath(level, *newName), *newName);
    }

    remember(level.settingsKey, *newName);
    (this->*level.relist)();
}
