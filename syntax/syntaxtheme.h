#pragma once

#include <QTextCharFormat>

class QPalette;

// What a highlighted stretch of code is, and how it looks.
namespace SyntaxTheme {

enum class Kind {
    Plain,
    Keyword,
    Type,
    Function,
    String,
    Escape,
    Number,
    Constant,
    Comment,
    Property,
    Attribute,
    Label,
    Operator,
    Count
};

// The kind of a capture of a highlight query: the longest known prefix of
// its dotted name ("function.method" is a Function); Plain when none.
Kind kindOf(const QString &captureName);

// Light colours on a light base, dark on a dark one.
bool isDark(const QPalette &palette);
QTextCharFormat format(Kind kind, bool dark);

} // namespace SyntaxTheme
