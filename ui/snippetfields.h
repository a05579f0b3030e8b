#pragma once

#include "library/snippetfile.h"

class QLineEdit;
class QTextEdit;

// Moves a snippet between its file's text and the two editing fields so that
// saving unchanged fields writes back exactly what was read.
namespace SnippetFields {

void show(QLineEdit *synopsis, QTextEdit *body, const SnippetText &text);
void clear(QLineEdit *synopsis, QTextEdit *body);
SnippetText current(const QLineEdit *synopsis, const QTextEdit *body);

} // namespace SnippetFields
