#pragma once

#include <QDialog>

#include <optional>

class FindResultsModel;
class FindSearch;
class LibraryPicture;
class QLabel;
class QLineEdit;
class QListView;

// Edit > Find: results over the whole library follow every keystroke and
// every change the library picture sees. Enter asks the main window to show
// the chosen snippet, Ctrl+Enter copies its body, Escape closes; both act on
// the list of the query as typed, waiting for it when need be. The window
// lives on when hidden, keeping its query.
class FindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit FindDialog(QWidget *parent);

    // Shows the window over the library at `root`. A query replaces the
    // one typed before; without one the old query stays, selected, so that
    // typing replaces it.
    void present(const QString &root, const std::optional<QString> &query);
    // The picture searched; without one, the window reads one of its own.
    void setPicture(LibraryPicture *picture);

Q_SIGNALS:
    void snippetChosen(const QString &language, const QString &category, const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void search();
    void addResults();
    void chooseCurrent(bool copy);
    void selectFirstUnlessMoved();
    QString readingNote() const;

    QLineEdit *lineEditFind;
    QListView *listViewResults;
    QLabel *labelStatus;
    FindResultsModel *model;
    FindSearch *runner;
    LibraryPicture *picture = nullptr;
    QString root;
    bool clearOnNextResults = false;
    bool userMoved = false;
    bool listReady = false;              // the list is the one for the typed query
    std::optional<bool> pendingChoice;  // Enter (false) or Ctrl+Enter (true) waiting for it
};
