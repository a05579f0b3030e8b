#pragma once

#include <QByteArray>
#include <QMainWindow>

#include <optional>

class EditSession;
class FindDialog;
class LibraryPicture;
class QComboBox;
class QSessionManager;
struct MainWindowForm;
class SnippetHighlighter;

// The one top-level window: it wires the form to the library on disk and to
// the edit session. The three combo boxes and the disk are the whole model:
// the window keeps no lists and no settings object, and every listing reads
// the disk afresh.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the Find window; a query replaces the one typed before.
    void openFind(const std::optional<QString> &query = std::nullopt);
    // For a request from another process: the window to the front, with
    // the Find window open on the query.
    void findFromOutside(const QString &query);
    // A problem the start-up found (see prepareProcess()), told once the
    // window is up; an empty text tells nothing.
    void showStartupNotice(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_pushButtonRemoveLanguage_clicked();
    void on_pushButtonRemoveCategory_clicked();
    void on_pushButtonRemoveSnippet_clicked();
    void on_pushButtonSaveSnippet_clicked();
    void on_comboBoxSnippet_currentIndexChanged(int index);
    void on_comboBoxCategory_currentIndexChanged(int index);
    void on_comboBoxLanguage_currentIndexChanged(int index);
    void on_pushButtonAddSnippet_clicked();
    void on_pushButtonAddCategory_clicked();
    void on_pushButtonAddLanguage_clicked();
    void on_menuBar_triggered(QAction *action);

private:
    class ListingPass;

    QString libraryRootPath() const;
    void listLanguages();
    void listCategories();
    void listSnippets();
    void loadSnippet();
    // A choice in `box`, which listed `shownEntry` for the fields, to
    // `index`: whether the levels below may follow it. On Cancel the box
    // shows `shownEntry` again.
    bool mayLeave(QComboBox *box, const QString &shownEntry, int index);
    void updateTitle();
    void commitSessionData(QSessionManager &manager);

    // What add, remove and rename need to know about one level of the library.
    struct Level
    {
        QComboBox *MainWindowForm::*box;
        const QString &settingsKey;
        QString noun; // as in the dialogs' titles: "Language"
        QString (MainWindow::*parentPath)() const;
        void (MainWindow::*relist)();
        bool holdsFiles; // snippets are files, the levels above are folders
    };
    QString entryPath(const Level &level, const QString &name) const;
    void addEntry(const Level &level);
    void removeCurrent(const Level &level);
    void renameCurrent(const Level &level);
    // Another program changed these folders and snippet files.
    void followDisk(const QStringList &folders, const QStringList &files);
    void undoRemove();
    void updateUndoRemove();
    void chooseFont();
    // Every way of making a snippet current from outside the three boxes
    // ends here, as if the user had chosen the three entries in turn. False
    // when the user kept the edits instead.
    bool showSnippet(const QString &language, const QString &category, const QString &name);
    void copySnippet();

    QString currentLanguagePath() const;
    QString currentCategoryPath() const;
    // The name typed into a name dialog; nothing when it was cancelled or
    // left empty.
    std::optional<QString> askEntryName(const QString &title, const QString &label);
    // Whether the level can list an entry of that name; if not, the user is
    // told why.
    bool isUsableName(const Level &level, const QString &name, const QString &title);

    MainWindowForm *form;
    FindDialog *findDialog = nullptr; // made on first use
    EditSession *session;
    LibraryPicture *libraryPicture = nullptr; // the library as other programs leave it
    SnippetHighlighter *highlighter; // owned by the body editor
    // The last snippet removed, as it was read before it went.
    struct Removed
    {
        QString language;
        QString category;
        QString name;
        QByteArray bytes;
    };
    std::optional<Removed> lastRemoved;
    int listingDepth = 0; // see ListingPass
    // Outside changes that arrived while a dialog was open, for later.
    QStringList pendingFolders;
    QStringList pendingFiles;
    const Level language;
    const Level category;
    const Level snippet;
};
