#pragma once

#include <QString>

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

QString languagePath(const QString &root, const QString &language);
QString categoryPath(const QString &root, const QString &language, const QString &category);

// The file behind a listed snippet name: "<name>.spt" if it exists and is no
// folder, otherwise a file whose extension is ".spt" in another letter case
// ("Notes.SPT"), so that a listed entry is always read, written and removed
// as itself. When neither exists the answer is "<name>.spt", the file a save
// would create.
QString snippetFilePath(const QString &categoryPath, const QString &name);

// A typed name must stay inside the library: no absolute paths and no ".."
// component. Separators inside a name are fine and make nested entries.
bool isNameInsideLibrary(const QString &name);

} // namespace LibraryPaths
