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

    void show(const SnippetText &text);
    void clear();
    // What a save writes.
    SnippetText current() const;

private:
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
};
