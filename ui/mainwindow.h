#pragma once

#include "library/snippetfile.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class FindDialog;
class LibraryPicture;
class QComboBox;
class QSessionManager;
struct MainWindowForm;
class SnippetFields;
class SnippetHighlighter;

// The one top-level window. The three combo boxes and the library on disk are
// the whole model: the window keeps no lists and no settings object, and
// every operation reads the disk afresh.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Asks about unsaved edits before anything replaces the fields. True
    // when the caller may go on: nothing was modified, the user saved, or
    // the user discarded the edits; false when the user cancelled or the
    // save did not happen. Every path that replaces the fields calls it
    // first.
    bool confirmDiscardOrSave();
    // Opens the Find window; a query replaces the one typed before.
    void openFind(const std::optional<QString> &query = std::nullopt);
    // For a request from another process: the window to the front, with
    // the Find window open on the query.
    void findFromOutside(const QString &query);

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
    QString libraryRootPath() const;
    void listLanguages();
    void listCategories();
    void listSnippets();
    void loadSnippet();
    // The Save button: true once the fields are on disk.
    bool saveCurrentSnippet();
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
    void chooseFont();
    // Every way of making a snippet current from outside the three boxes
    // ends here, as if the user had chosen the three entries in turn.
    void showSnippet(const QString &language, const QString &category, const QString &name);
    void copySnippet();

    QString currentLanguagePath() const;
    QString currentCategoryPath() const;
    // The name typed into a name dialog; nothing when it was cancelled.
    std::optional<QString> askEntryName(const QString &title, const QString &label);
    // Whether the level can list an entry of that name; if not, the user is
    // told why.
    bool isUsableName(const Level &level, const QString &name, const QString &title);
    // Whether to replace what another program saved over the shown snippet.
    bool askToReplaceChanges(const QString &name);

    MainWindowForm *form;
    FindDialog *findDialog = nullptr; // made on first use
    LibraryPicture *libraryPicture = nullptr; // the library as other programs leave it
    std::unique_ptr<SnippetFields> fields;
    SnippetHighlighter *highlighter; // owned by the body editor
    SnippetFile::Shown shown;
    // The entries that named the shown file; the snippet is null when none
    // was listed.
    struct
    {
        QString language;
        QString category;
        QString snippet;
    } shownAt;
    // Listings choose entries on their own, after their caller has asked
    // about the edits.
    int listingDepth = 0;
    // Set while the snippet list is refilled: only its final entry is loaded.
    bool snippetLoadDeferred = false;
    const Level language;
    const Level category;
    const Level snippet;
};
