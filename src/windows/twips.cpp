#include "windows/twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

constexpr double kTwipsPerInch = 1440.0;

double logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

} // namespace

int twipsToPixels(double twips)
{
    return int(std::lround(twips * logicalDpi() / kTwipsPerInch));
}

int pixelsToTwips(int pixels)
{
    return int(std::lround(pixels * kTwipsPerInch / logicalDpi()));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsPoint(left, top), twipsSize(width, height)};
}

QSize twipsSize(int width, int height)
{
    return {twipsToPixels(width), twipsToPixels(height)};
}

QPoint twipsPoint(int left, int top)
{
    return {twipsToPixels(left), twipsToPixels(top)};
}
