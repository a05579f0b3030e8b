#include "syntax/syntaxtheme.h"

#include <QColor>
#include <QHash>
#include <QPalette>

namespace SyntaxTheme {

Kind kindOf(const QString &captureName)
{
    // Variables, parameters and punctuation stay in the text colour: colouring
    // them too leaves nothing that stands out.
    static const QHash<QString, Kind> known = {
        {QStringLiteral("keyword"), Kind::Keyword},
        {QStringLiteral("variable.builtin"), Kind::Keyword},
        {QStringLiteral("type"), Kind::Type},
        {QStringLiteral("constructor"), Kind::Type},
        {QStringLiteral("module"), Kind::Type},
        {QStringLiteral("function"), Kind::Function},
        {QStringLiteral("string"), Kind::String},
        {QStringLiteral("string.special.key"), Kind::Property},
        {QStringLiteral("string.escape"), Kind::Escape},
        {QStringLiteral("escape"), Kind::Escape},
        {QStringLiteral("number"), Kind::Number},
        {QStringLiteral("constant"), Kind::Constant},
        {QStringLiteral("comment"), Kind::Comment},
        {QStringLiteral("property"), Kind::Property},
        {QStringLiteral("attribute"), Kind::Attribute},
        {QStringLiteral("label"), Kind::Label},
        {QStringLiteral("operator"), Kind::Operator},
    };
    QString name = captureName;
    for (;;) {
        const auto found = known.constFind(name);
        if (found != known.cend())
            return *found;
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot < 0)
            return Kind::Plain;
        name.truncate(dot);
    }
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < 128;
}

QTextCharFormat format(Kind kind, bool dark)
{
    struct Look
    {
        QRgb light, dark;
        bool bold = false, italic = false;
    };
    static const Look looks[int(Kind::Count)] = {
        {0, 0},                                  // Plain
        {0x0033b3, 0x569cd6, true},              // Keyword
        {0x00707a, 0x4ec9b0},                    // Type
        {0x795e26, 0xdcdcaa},                    // Function
        {0x067d17, 0xce9178},                    // String
        {0x0037a6, 0xd7ba7d},                    // Escape
        {0x1750eb, 0xb5cea8},                    // Number
        {0x871094, 0x4fc1ff},                    // Constant
        {0x707070, 0x6a9955, false, true},       // Comment
        {0x7a3e9d, 0x9cdcfe},                    // Property
        {0x9e6a03, 0xc586c0},                    // Attribute
        {0x7a3e9d, 0xc8c8c8},                    // Label
        {0x5c5c5c, 0xb4b4b4},                    // Operator
    };
    QTextCharFormat result;
    if (kind == Kind::Plain || kind == Kind::Count)
        return result;
    const Look &look = looks[int(kind)];
    result.setForeground(QColor::fromRgb(dark ? look.dark : look.light));
    if (look.bold)
        result.setFontWeight(QFont::Bold);
    if (look.italic)
        result.setFontItalic(true);
    return result;
}

} // namespace SyntaxTheme
