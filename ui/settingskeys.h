#pragma once

#include <QString>

// The window's keys in the per-user settings. Stored settings outlive every
// version of the program, so these names never change.
namespace SettingsKeys {

inline const QString language = QStringLiteral("Language");
inline const QString category = QStringLiteral("Category");
inline const QString snippet = QStringLiteral("Snippet");
inline const QString font = QStringLiteral("Font");
inline const QString geometry = QStringLiteral("Geometry");

} // namespace SettingsKeys
