#pragma once

#include "library/snippetfile.h"

#include <optional>
#include <vector>

class QLineEdit;
class QTextEdit;

// A body as the editor shows it, and where the file spells a character of it
// otherwise: a line feed that is CR LF, a lone CR or a paragraph mark there,
// a typed line separator saved as a line break. An edited body is compared
// with it, so that what the user did not touch is written back as it came.
struct ShownBody
{
    enum class Spelling : quint8 { LineFeed, CrLf, Cr, ParagraphSeparator, FrameStart, FrameEnd };
    struct Spelled
    {
        qsizetype at;
        Spelling as;
    };

    QString text;
    std::vector<Spelled> spellings; // by position
    // How a line break the user types is written: as most of the file's are.
    Spelling typedBreak = Spelling::LineFeed;
};

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
    QString shownBody() const;

    QLineEdit *m_synopsis;
    QTextEdit *m_body;
    // A first line too long to edit, shown in part: saved whole while the
    // shown part is untouched.
    std::optional<QString> m_wholeSynopsis;
    // The synopsis as shown at the load or the last save: only what was
    // typed since loses its line breaks.
    QString m_baseSynopsis;
    bool m_crlfAfterSynopsis = false;
    // The body as shown at the load or the last save.
    ShownBody m_baseBody;
};
