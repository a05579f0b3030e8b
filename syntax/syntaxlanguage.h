#pragma once

#include <QString>

namespace SyntaxLanguage {

// The grammar ("cpp", "python", ...) for a snippet: by the extension of its
// name when that is a known one ("deploy.sh"), else by its Language folder
// ("C++", "golang"), case-insensitively; empty for plain text.
QString forSnippet(const QString &languageFolder, const QString &snippetName);

} // namespace SyntaxLanguage
