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
#include "ui/finddialog.h"
#include "ui/mainwindowform.h"
#include "ui/plainmessage.h"
#include "ui/settingskeys.h"
#include "ui/snippetfields.h"
#include "ui/startupguard.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFont>
#include <QFontDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSessionManager>
#include <QSettings>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

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
    StartupGuard::ignoreFileSizeSignal();
    // Once per process, before its first QSettings: QSettings keeps what it
    // was set up with, and the user needs telling only once.
    static const QString settingsProblem = StartupGuard::keepSettingsFromBlocking();
    static bool settingsProblemTold = false;
    if (!settingsProblem.isEmpty() && !std::exchange(settingsProblemTold, true)) {
        QTimer::singleShot(0, this, [this] {
            auto *notice = new QMessageBox(QMessageBox::Warning, tr("Settings"), settingsProblem,
                                           QMessageBox::Ok, this);
            notice->setTextFormat(Qt::PlainText);
            notice->setAttribute(Qt::WA_DeleteOnClose);
            notice->open();
        });
    }

    form->setupForm(this);
    fields = std::make_unique<SnippetFields>(form->lineEditSynopsis, form->textEditSnippet);
    // Attached while the body is empty: each text is then coloured as it is
    // set, never by a pass over a text already laid out.
    highlighter = new SnippetHighlighter(form->textEditSnippet);
    addHelpMenu(this);
    connect(form->textEditSnippet->document(), &QTextDocument::modificationChanged, this,
            &MainWindow::updateTitle);
    connect(form->lineEditSynopsis, &QLineEdit::textChanged, this, &MainWindow::updateTitle);
#if QT_CONFIG(sessionmanager)
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &MainWindow::commitSessionData);
#endif

    // Without glass, the translucent background of the window's sheet would
    // show whatever lies behind the window. Set before the lists are filled:
    // a new sheet re-lays out every combo box's popup list, which costs
    // milliseconds per thousand snippets once they are listed.
    if (!isCompositionEnabled()) {
        form->centralWidget->setStyleSheet(
            form->centralWidget->styleSheet()
            + QStringLiteral("QWidget#centralWidget {background-color: rgb(232,236,246);} "));
    }

    listLanguages();

    QSettings settings;
    form->textEditSnippet->setFont(storedBodyFont(settings, form->textEditSnippet->font()));
    restoreGeometry(settings.value(SettingsKeys::geometry).toByteArray());
    // Read behind the shown window, after the listings made the first folders.
    libraryPicture = new LibraryPicture(libraryRootPath(), this);
    libraryPicture->start();
}

MainWindow::~MainWindow()
{
    delete form;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!confirmDiscardOrSave()) {
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
    }
}

void MainWindow::commitSessionData(QSessionManager &manager)
{
    // Without leave to ask, the session ends with the window as it is.
    if (!fields->isModified() || !manager.allowsInteraction())
        return;
    const bool mayEnd = confirmDiscardOrSave();
    manager.release();
    if (!mayEnd)
        manager.cancel();
}

bool MainWindow::confirmDiscardOrSave()
{
    if (!fields->isModified())
        return true;
    const QString text = shownAt.snippet.isNull()
        ? tr("The new snippet has changes that are not saved.")
        : tr("The snippet \u201c%1\u201d has changes that are not saved.").arg(shownAt.snippet);
    QMessageBox question(QMessageBox::Warning, tr("Unsaved Changes"), text,
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::Save);
    question.setEscapeButton(QMessageBox::Cancel);
    switch (question.exec()) {
    case QMessageBox::Save:
        return saveCurrentSnippet();
    case QMessageBox::Discard:
        // The caller replaces the fields now; nothing may ask again on the way.
        fields->setUnmodified();
        return true;
    default:
        return false;
    }
}

bool MainWindow::mayLeave(QComboBox *box, const QString &shownEntry, int index)
{
    if (listingDepth > 0 || !fields->isModified())
        return true;
    // While the user decides, the boxes show where the edits came from, so
    // that Save writes them there and Cancel has nothing to undo.
    setCurrentIndexQuietly(box, box->findText(shownEntry));
    if (!confirmDiscardOrSave())
        return false;
    setCurrentIndexQuietly(box, index);
    return true;
}

void MainWindow::updateTitle()
{
    const bool modified = fields->isModified();
    if (shownAt.snippet.isNull()) {
        setWindowTitle(modified ? tr("Quillory") + QLatin1String("[*]") : tr("Quillory"));
    } else {
        // A "[*]" in the name is text, not the marker.
        QString name = shownAt.snippet;
        name.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
        setWindowTitle(tr("%1[*] \u2014 Quillory").arg(name));
    }
    setWindowModified(modified);
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

void MainWindow::listLanguages()
{
    const QScopedValueRollback<int> listing(listingDepth, listingDepth + 1);
    const QString path = libraryRootPath();
    const QString wanted = rememberedName(SettingsKeys::language, LibraryListing::defaultEntry);
    refill(form->comboBoxLanguage, LibraryListing::entryNames(path), wanted);
}

void MainWindow::listCategories()
{
    const QScopedValueRollback<int> listing(listingDepth, listingDepth + 1);
    const QString path = currentLanguagePath();
    const QString wanted = rememberedName(SettingsKeys::category, LibraryListing::defaultEntry);
    refill(form->comboBoxCategory, LibraryListing::entryNames(path), wanted);
}

void MainWindow::listSnippets()
{
    const QString path = currentCategoryPath();
    const QString wanted = rememberedName(SettingsKeys::snippet, QString());
    {
        // Each step of the refill would replace the fields, and read a file,
        // only for the next step to replace them again.
        const QScopedValueRollback<bool> deferred(snippetLoadDeferred, true);
        refill(form->comboBoxSnippet, LibraryListing::snippetNames(path), wanted);
    }
    loadSnippet();
}

void MainWindow::loadSnippet()
{
    const QString language = form->comboBoxLanguage->currentText();
    const QString category = form->comboBoxCategory->currentText();
    const QString name = form->comboBoxSnippet->currentText();
    const QString path = LibraryPaths::snippetFilePath(currentCategoryPath(), name);
    // A listing that comes back to the file being edited (renamed, or left
    // where it was by a removal that did not happen) keeps the edits.
    if (fields->isModified() && path == shown.path) {
        shownAt = {language, category, name};
        updateTitle();
        return;
    }

    const SnippetFile::ReadResult file = SnippetFile::load(path);
    shown = {path, file.status, file.stamp};
    highlighter->setLanguage(SyntaxLanguage::forSnippet(language, name));
    shownAt = {language, category, name};
    switch (file.status) {
    case SnippetFile::ReadStatus::Loaded:
        break;
    case SnippetFile::ReadStatus::Missing:
        fields->clear();
        updateTitle();
        return;
    case SnippetFile::ReadStatus::NotARegularFile:
    case SnippetFile::ReadStatus::TooLarge:
    case SnippetFile::ReadStatus::Unreadable:
        fields->showUnloadable(tr("\"%1\" is not shown: %2.").arg(name, file.errorString));
        updateTitle();
        return;
    }

    if (const QString why = SnippetFields::whyNotEditable(file.text); !why.isEmpty()) {
        // Not shown is not loaded: a save must not replace it with empty fields.
        shown.status = SnippetFile::ReadStatus::TooLarge;
        fields->showUnloadable(
            tr("\"%1\" is not shown: %2.").arg(form->comboBoxSnippet->currentText(), why));
        return;
    }
    fields->show(file.text);
    updateTitle();
    // Only a zero-byte file leaves the focus where it was; a file holding
    // nothing but a line break still has a (blank) first line.
    if (file.stamp.size > 0)
        form->textEditSnippet->setFocus(Qt::OtherFocusReason);

    QSettings settings;
    settings.setValue(SettingsKeys::language, language);
    settings.setValue(SettingsKeys::category, category);
    settings.setValue(SettingsKeys::snippet, name);
}

namespace {

QString whyNotUsable(const QString &name, LibraryPaths::NameProblem problem)
{
    using LibraryPaths::NameProblem;
    switch (problem) {
    case NameProblem::None:
        break;
    case NameProblem::LeavesLibrary:
        return MainWindow::tr("\"%1\" was not used: a name may not be an absolute path or "
                              "\"..\", because it would point outside the snippet library.")
            .arg(name);
    case NameProblem::HoldsSeparator:
        return MainWindow::tr("\"%1\" was not used: a name may not contain \"/\" or \"\\\", "
                              "because the entry would land inside another one, where no list "
                              "shows it.").arg(name);
    case NameProblem::Hidden:
        if (name.isEmpty())
            return MainWindow::tr("A snippet needs a name: the file \"%1\" would be hidden.")
                .arg(LibraryPaths::snippetSuffix);
        return MainWindow::tr("\"%1\" was not used: a name may not start with \".\", because "
                              "the entry would be hidden and no list would show it.").arg(name);
    case NameProblem::ForbiddenOnThisSystem:
        return MainWindow::tr("\"%1\" was not used: this system does not allow that name for a "
                              "file or folder.").arg(name);
    }
    return QString();
}

} // namespace

std::optional<QString> MainWindow::askEntryName(const QString &title, const QString &label)
{
    // Without the flag, Qt answers a null string both for Cancel and for an
    // accepted empty field; only Cancel means "do nothing".
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
    PlainMessage::warn(this, title, whyNotUsable(name, problem));
    return false;
}

bool MainWindow::askToReplaceChanges(const QString &name)
{
    QMessageBox question(QMessageBox::Warning, tr("Save"),
                         tr("The snippet \"%1\" was changed by another program since it was "
                            "shown here.\n\nReplace that version with the text shown here? "
                            "Cancel keeps both: the file stays as it is and the window keeps "
                            "your edits.")
                             .arg(name),
                         QMessageBox::Cancel, this);
    QPushButton *replace = question.addButton(tr("Replace"), QMessageBox::DestructiveRole);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::Cancel);
    question.exec();
    return question.clickedButton() == replace;
}

void MainWindow::on_pushButtonSaveSnippet_clicked()
{
    saveCurrentSnippet();
}

bool MainWindow::saveCurrentSnippet()
{
    QString name = form->comboBoxSnippet->currentText();
    const bool creates = name.isNull();
    auto mode = SnippetFile::SaveMode::UnlessChanged;
    if (creates) {
        const QString title = QStringLiteral("Add Snippet");
        const std::optional<QString> typed =
            askEntryName(title, QStringLiteral("Please enter the snippet's name."));
        if (!typed || !isUsableName(snippet, *typed, title))
            return false;
        name = *typed;
        // The fields came from no file, so whatever has this name is text
        // they never showed.
        mode = SnippetFile::SaveMode::NewOnly;
    }

    const QString path = LibraryPaths::snippetFilePath(currentCategoryPath(), name);
    const SnippetText text = fields->textToSave();
    SnippetFile::SaveResult result = SnippetFile::save(path, text, shown, mode);
    if (result.status == SnippetFile::SaveStatus::Changed && askToReplaceChanges(name))
        result = SnippetFile::save(path, text, shown, SnippetFile::SaveMode::Replace);

    QString why;
    switch (result.status) {
    case SnippetFile::SaveStatus::Saved:
        shown = result.shown;
        fields->markSaved();
        updateTitle();
        if (creates) {
            // Listed and current, so that the next Save writes to it.
            remember(SettingsKeys::snippet, name);
            listSnippets();
        }
        return true;
    case SnippetFile::SaveStatus::Changed:
        return false; // the user chose to keep both
    case SnippetFile::SaveStatus::Exists:
        why = tr("a snippet of that name exists already.");
        break;
    case SnippetFile::SaveStatus::NotShown:
        why = tr("its file could not be shown, and saving would replace it with empty fields.");
        break;
    case SnippetFile::SaveStatus::Failed:
        why = result.errorString;
        break;
    }
    PlainMessage::warn(this, tr("Save"),
                       tr("The snippet \"%1\" was not saved: %2\n\n"
                          "The file on disk is unchanged.")
                           .arg(name, why));
    return false;
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
    if (!snippetLoadDeferred && mayLeave(form->comboBoxSnippet, shownAt.snippet, index))
        loadSnippet();
}

void MainWindow::on_comboBoxCategory_currentIndexChanged(int index)
{
    if (mayLeave(form->comboBoxCategory, shownAt.category, index))
        listSnippets();
}

void MainWindow::on_comboBoxLanguage_currentIndexChanged(int index)
{
    if (mayLeave(form->comboBoxLanguage, shownAt.language, index))
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
}

void MainWindow::openFind(const std::optional<QString> &query)
{
    if (!findDialog) {
        findDialog = new FindDialog(this);
        findDialog->setPicture(libraryPicture);
        connect(findDialog, &FindDialog::snippetChosen, this, &MainWindow::showSnippet);
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

void MainWindow::showSnippet(const QString &language, const QString &category, const QString &name)
{
    if (!confirmDiscardOrSave())
        return;
    remember(SettingsKeys::language, language);
    remember(SettingsKeys::category, category);
    remember(SettingsKeys::snippet, name);
    {
        // Level by level, without the cascade: a pass through a first entry
        // would load that entry's snippet and overwrite the remembered names
        // before the levels below read them.
        const QSignalBlocker languages(form->comboBoxLanguage);
        const QSignalBlocker categories(form->comboBoxCategory);
        const QSignalBlocker snippets(form->comboBoxSnippet);
        listLanguages();
        listCategories();
        listSnippets(); // loads the snippet it ends on
    }
}

void MainWindow::copySnippet()
{
    // The reason shown in place of an unloadable file is no body.
    if (shown.status != SnippetFile::ReadStatus::Loaded
        && shown.status != SnippetFile::ReadStatus::Missing)
        return;
    QGuiApplication::clipboard()->setText(fields->current().body);
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
    const QString parent = (this->*level.parentPath)();
    return level.holdsFiles ? LibraryPaths::snippetFilePath(parent, name)
                            : parent + QDir::separator() + name;
}

void MainWindow::addEntry(const Level &level)
{
    const QString title = QStringLiteral("Add ") + level.noun;
    const std::optional<QString> name =
        askEntryName(title, QStringLiteral("Please enter the %1's name.").arg(level.noun.toLower()));
    if (!name || !isUsableName(level, *name, title) || !confirmDiscardOrSave())
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
    // The snippet's own edits go with it; above it, the listing would
    // replace them.
    if (!level.holdsFiles && !confirmDiscardOrSave())
        return;
    if (level.holdsFiles)
        LibraryEdits::removeFile(entryPath(level, name));
    else
        LibraryEdits::removeEmptyTree(entryPath(level, name), libraryRootPath());
    (this->*level.relist)();
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
    const bool keepsEdits = level.holdsFiles && fields->isModified()
        && shown.path == LibraryPaths::snippetFilePath(parentPath, oldName)
        && LibraryEdits::exists(shown.path);
    if (!keepsEdits && !confirmDiscardOrSave())
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
        shown.path = LibraryPaths::snippetFilePath(parentPath, *newName);
    }

    remember(level.settingsKey, *newName);
    (this->*level.relist)();
}
