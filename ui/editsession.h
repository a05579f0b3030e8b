#pragma once

#include "library/snippetfile.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QTextEdit;
class QWidget;
class SnippetFields;

// The synopsis and body fields, the file they show, and the one question
// before anything replaces what the user typed. Every path that would replace
// the fields asks mayReplace() first; a listing that comes back to the file
// being edited keeps the edits.
class EditSession : public QObject
{
    Q_OBJECT

public:
    // The entries that listed the shown file. The snippet is null when the
    // category listed none: the fields then hold a snippet still to be named.
    struct Entry
    {
        QString language;
        QString category;
        QString snippet;
    };

    // Dialogs open over `window`.
    EditSession(QLineEdit *synopsis, QTextEdit *body, QWidget *window);
    ~EditSession() override;

    const Entry &entry() const { return m_entry; }
    bool isModified() const;

    // Asks Save, Discard or Cancel when there are edits. True when the
    // caller may replace the fields: nothing was edited, the edits were
    // saved, or the user gave them up.
    bool mayReplace();
    // Whether showing `path` leaves the fields as they are, because they hold
    // unsaved edits of that very file.
    bool keepsEditsFor(const QString &path) const;
    // Shows the file that `entry` lists, read from disk, unless the fields
    // hold edits of it. True when the fields now show the file's text as
    // read.
    bool show(const Entry &entry, const QString &path);
    // The Save button. A snippet not yet named gets its name from
    // `askNewName`, and snippetCreated() tells the window to list it. True
    // once the fields are on disk.
    bool save();
    // Without leave to ask (a logout): saves the edits of a listed snippet
    // unless another program has changed its file, and tells nobody.
    bool saveQuietly();
    // The shown file was renamed: it is now `path`, listed as `name`.
    void follow(const QString &path, const QString &name);
    // Whether another program has changed or removed the shown file since
    // it was loaded or saved here.
    bool shownFileChanged() const;
    bool shownFileGone() const;
    // The body for Copy Snippet; nothing while the fields show why a file
    // is not shown.
    std::optional<QString> copyableBody() const;

    // Asks the name of a snippet that has none yet; nothing when the user
    // cancelled or the name was refused (and the user told why).
    std::function<std::optional<QString>()> askNewName;

Q_SIGNALS:
    // The entry or the modified state changed: the title follows it.
    void changed();
    void snippetCreated(const QString &name);

private:
    bool saveTo(const QString &path, const QString &name, SnippetFile::SaveMode mode);
    bool askToReplaceChanges(const QString &name);

    QWidget *m_window;
    std::unique_ptr<SnippetFields> m_fields;
    SnippetFile::Shown m_shown;
    Entry m_entry;
    // The fields show the file's text as loaded or saved: showing the same,
    // unchanged file again has nothing to read. Giving up the edits ends it.
    bool m_showsFile = false;
};
