#include "ui/formlook.h"

#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <QString>
#include <QStyle>
#include <QWidget>

#include <cmath>

namespace FormLook {

namespace {

const char lightSheet[] = "QWidget#centralWidget {background-color: rgb(232,236,246);} ";
// Where the glass shows through, the background is as translucent as the
// window's own sheet.
const int glassAlpha = 200;
const double legible = 4.5;

double luminance(const QColor &colour)
{
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF())
        + 0.0722 * linear(rgb.blueF());
}

// What a translucent background looks like over the lightest glass.
QColor overWhite(const QColor &colour, int alpha)
{
    const auto blend = [alpha](int c) { return (c * alpha + 255 * (255 - alpha)) / 255; };
    return QColor(blend(colour.red()), blend(colour.green()), blend(colour.blue()));
}

QColor darkBackground(const QPalette &palette, bool composition)
{
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    QColor background = palette.color(QPalette::Active, QPalette::Window).toRgb();
    const auto seen = [&] { return composition ? overWhite(background, glassAlpha) : background; };
    // A palette whose window and text are too close (or glass behind) gets
    // its window colour darkened step by step; black is as far as it goes.
    for (int step = 0; step < 40 && contrast(text, seen()) < legible; ++step) {
        background.setRgb(background.red() * 9 / 10, background.green() * 9 / 10,
                          background.blue() * 9 / 10);
    }
    return background;
}

} // namespace

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool isDarkScheme(const QPalette &palette)
{
    return luminance(palette.color(QPalette::Active, QPalette::WindowText))
        > luminance(palette.color(QPalette::Active, QPalette::Window));
}

QString centralSheet(const QPalette &palette, bool composition)
{
    if (!isDarkScheme(palette))
        return composition ? QString() : QString::fromLatin1(lightSheet);
    const QColor background = darkBackground(palette, composition);
    const QString colour = composition
        ? QStringLiteral("rgba(%1,%2,%3,%4)")
              .arg(background.red())
              .arg(background.green())
              .arg(background.blue())
              .arg(glassAlpha)
        : QStringLiteral("rgb(%1,%2,%3)")
              .arg(background.red())
              .arg(background.green())
              .arg(background.blue());
    return QStringLiteral("QWidget#centralWidget {background-color: %1;} ").arg(colour);
}

void applyCentralSheet(QWidget *central, bool composition)
{
    // The window's palette, not the central widget's: a sheet with a
    // background colours the palette of the widget it styles.
    const QString sheet = centralSheet(central->window()->palette(), composition);
    if (central->styleSheet() != sheet)
        central->setStyleSheet(sheet);
}

void prepareDesktopScheme()
{
#ifdef Q_OS_WIN
    // Qt 6.4 leaves Windows' dark setting alone unless asked: darkmode=1
    // darkens the title bars, 2 the palette as well, and both follow a change
    // of the setting while the program runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:darkmode=2");
#endif
}

void followDesktopScheme()
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return;
    QStyle *style = QApplication::style();
    if (style && style->name() == QLatin1String("windowsvista")
        && isDarkScheme(QGuiApplication::palette()))
        QApplication::setStyle(QStringLiteral("Fusion"));
}

} // namespace FormLook
