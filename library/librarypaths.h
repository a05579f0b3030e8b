#pragma once

#include <QString>

class QFileInfo;

// Where the snippet library lives and how its paths are composed. Paths are
// built by plain concatenation with the native separator; names are used
// exactly as they stand.
namespace LibraryPaths {

// Listings find it in any letter case; new files get it as written here.
inline const QString snippetSuffix = QStringLiteral(".spt");

// "My Snippets" inside the given Documents location.
QString rootPath(const QString &documentsLocation);
// The same for the user's real Documents location.
QString rootPath();

// An entry of a folder: a language, a category or a file.
QString entryPath(const QString &folder, const QString &name);
QString languagePath(const QString &root, const QString &language);
QString categoryPath(const QString &root, const QString &language, const QString &category);

// The file behind a listed snippet name: "<name>.spt" if it exists and is no
// folder, otherwise a file whose extension is ".spt" in another letter case
// ("Notes.SPT"), so that a listed entry is always read, written and removed
// as itself. When neither exists the answer is "<name>.spt", the file a save
// would create.
QString snippetFilePath(const QString &categoryPath, const QString &name);

// The home folder from the user database when HOME is unset or empty, as
// the rest of the desktop does; otherwise QDir::homePath(). Without HOME,
// Qt takes "/" for the home, for the library and the settings alike.
QString homePath();

// Why a typed name cannot become one entry the window lists, if it cannot.
enum class NameProblem {
    None,
    LeavesLibrary,          // absolute, or a ".." component
    HoldsSeparator,         // '/' or '\\': the entry would land a level deeper
    Blank,                  // only spaces: nothing a list shows could tell it apart
    Hidden,                 // a leading '.' where that hides it (Linux, macOS)
    ForbiddenOnThisSystem,  // characters or endings the file system refuses
};

// For names of languages and categories, and snippet names without suffix.
NameProblem checkName(const QString &name);
// The same for a snippet's name, which becomes "<name>.spt": the empty name
// gives a hidden ".spt" where a leading dot hides files.
NameProblem checkSnippetName(const QString &name);

// For a name that is to be read, as another program may have made it: only
// names that leave the library, or that this system would take for more
// than one level, are refused. "a\\b.spt" is a snippet on Linux.
NameProblem checkNameToRead(const QString &name);

// Why `name` was refused, in the words the window and the terminal tool
// show; empty for NameProblem::None.
QString whyRefused(const QString &name, NameProblem problem);

// Something stands at the path: an entry, or a link whether or not it leads
// anywhere. Creating or renaming onto a link to nothing would make its target
// appear wherever it points, so such a name counts as taken.
bool isTaken(const QFileInfo &info);
bool isTaken(const QString &path);

// A typed name must stay inside the library: no absolute paths and no ".."
// component. Separators are allowed here; checkName() refuses them.
bool isNameInsideLibrary(const QString &name);

} // namespace LibraryPaths
