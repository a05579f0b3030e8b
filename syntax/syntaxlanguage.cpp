#include "syntax/syntaxlanguage.h"

#include <QHash>

#include <initializer_list>

namespace {

struct Names
{
    const char *language;
    std::initializer_list<const char *> folders;
    std::initializer_list<const char *> extensions;
};

// Folder names as people write them; extensions as files carry them.
const Names knownNames[] = {
    {"cpp", {"c++", "cpp", "cxx", "cplusplus", "c plus plus"},
     {"cpp", "cc", "cxx", "c++", "hpp", "hh", "hxx", "h++", "ipp", "tpp"}},
    {"c", {"c", "ansi c"}, {"c", "h"}},
    {"python", {"python", "py", "python3", "python 3"}, {"py", "pyw", "pyi"}},
    {"javascript", {"javascript", "js", "node", "nodejs", "node.js", "ecmascript", "jsx"},
     {"js", "mjs", "cjs", "jsx"}},
    {"typescript", {"typescript", "ts"}, {"ts", "mts", "cts"}},
    {"bash", {"bash", "shell", "sh", "zsh", "ksh", "shell script", "shellscript", "shell-bash",
              "shell & bash", "shell and bash", "bash shell"},
     {"sh", "bash", "zsh", "ksh"}},
    {"json", {"json"}, {"json"}},
    {"go", {"go", "golang"}, {"go"}},
    {"rust", {"rust", "rs"}, {"rs"}},
    {"java", {"java"}, {"java"}},
    {"c_sharp", {"c#", "csharp", "cs", "c sharp", "c-sharp"}, {"cs"}},
};

QHash<QString, QString> table(bool extensions)
{
    QHash<QString, QString> names;
    for (const Names &entry : knownNames) {
        for (const char *name : extensions ? entry.extensions : entry.folders)
            names.insert(QString::fromUtf8(name), QString::fromLatin1(entry.language));
    }
    return names;
}

} // namespace

QString SyntaxLanguage::forSnippet(const QString &languageFolder, const QString &snippetName)
{
    static const QHash<QString, QString> byFolder = table(false);
    static const QHash<QString, QString> byExtension = table(true);
    const QString folderLanguage = byFolder.value(languageFolder.trimmed().toLower());
    const qsizetype dot = snippetName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return folderLanguage;
    const QString extension = snippetName.mid(dot + 1).toLower();
    const QString named = byExtension.value(extension);
    // A header in a C++ folder is C++ more often than C.
    if (extension == QLatin1String("h") && folderLanguage == QLatin1String("cpp"))
        return folderLanguage;
    return named.isEmpty() ? folderLanguage : named;
}
