#include "ui/codeedit.h"

#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMimeData>
#include <QTextCursor>

#include <algorithm>

CodeEdit::CodeEdit(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    // The desktop's font for code, until the user picks one.
    setFont(fixedWidthFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
    updateTabStop();
}

QFont CodeEdit::fixedWidthFont(const QFont &desktopFixed)
{
    if (hasFixedWidths(desktopFixed))
        return desktopFixed;
    const auto inFamily = [&desktopFixed](const QString &family) {
        QFont font = desktopFixed;
        font.setFamilies({family});
        font.setStyleHint(QFont::TypeWriter);
        return font;
    };
#ifdef Q_OS_WIN
    const QStringList preferred = {QStringLiteral("Consolas"), QStringLiteral("Courier New")};
#else
    const QStringList preferred = {QStringLiteral("DejaVu Sans Mono"),
                                   QStringLiteral("Noto Sans Mono"),
                                   QStringLiteral("Liberation Mono"), QStringLiteral("Monospace"),
                                   QStringLiteral("Courier New")};
#endif
    for (const QString &family : preferred) {
        const QFont font = inFamily(family);
        if (hasFixedWidths(font))
            return font;
    }
    // Any face that is fixed, those that say so first.
    QStringList families = QFontDatabase::families();
    std::stable_partition(families.begin(), families.end(),
                          [](const QString &family) { return QFontDatabase::isFixedPitch(family); });
    for (const QString &family : families) {
        const QFont font = inFamily(family);
        if (QFontInfo(font).family() == family && hasFixedWidths(font))
            return font;
    }
    return desktopFixed;
}

bool CodeEdit::hasFixedWidths(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QLatin1Char('m'));
    for (const QChar c : QStringLiteral("iW.0_|"))
        if (qAbs(metrics.horizontalAdvance(c) - width) > 0.01)
            return false;
    return width > 0;
}

QMimeData *CodeEdit::createMimeDataFromSelection() const
{
    // QTextEdit would add HTML, which a word processor or a mail pastes in
    // the editor's font; the plain text is also taken raw, so that no-break
    // spaces stay what they are.
    QString text = textCursor().selectedText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

void CodeEdit::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateTabStop();
}

void CodeEdit::updateTabStop()
{
    setTabStopDistance(4 * QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')));
}
