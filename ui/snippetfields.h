#pragma once

#include "library/snippetfile.h"

#include <optional>

class QLineEdit;
class QTextEdit;

// The synopsis and body fields, and what a load put into them: enough to
// save unchanged fields back exactly as they were read, whatever the
// widgets make of the text on its way in.
class SnippetFields
{
public:
    SnippetFields(QLineEdit *synopsis, QTextEdit *body);

    // Why the text is not given to the editor, or an empty string when it
    // may be. The document lays out each line as a block of its own, so
    // millions of short lines hold the window for half a minute and take a
    // gigabyte, far below the byte limit.
    static QString whyNotEditable(const SnippetText &text);
    // About what this machine's editor takes in a second (bench/: the load
    // rows by line feeds); a million lines take it over three.
    static constexpr qsizetype mostLines = 300000;

    void show(const SnippetText &text);
    void clear();
    // Empty and read-only, with the reason in place of the text: nothing
    // typed there could be saved without replacing the file.
    void showUnloadable(const QString &reason);
    // The fields as a save writes them back.
    SnippetText current() const;
    // The same, after making a synopsis that an edit split into lines one
    // line again, in the field as in the file, so that the next load gives
    // the same synopsis and body.
    SnippetText textToSave();

    // Whether the user changed either field since it was shown or saved.
    bool isModified() const;
    // When the user gave the edits up.
    void setUnmodified();
    // After the fields were saved.
    void markSaved();

private:
    void setEditable(bool editable);
    QString currentSynopsis() const;
    QString currentBody() const;

    QLineEdit *m_synopsis;
    QTextEdit *m_body;
    // A first line too long to edit, shown in part: saved whole while the
    // shown part is untouched.
    std::optional<QString> m_wholeSynopsis;
    // A body with Windows line breaks, shown with plain ones.
    bool m_crlfBody = false;
    // A body that the document would change on its way in, kept as read so
    // that an unchanged field writes it back.
    std::optional<QString> m_bodyAsRead;
    // Edited and saved: the body still shows typed line separators, saved
    // as line feeds, after its modified flag is reset.
    bool m_bodySavedEdited = false;
};
