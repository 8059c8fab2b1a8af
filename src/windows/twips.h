#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Positions and sizes of the windows and their controls are given in twips (1/1440 inch; 15 twips per pixel at
// 96 dots per inch). These convert with the primary screen's logical DPI.
int twipsToPixels(double twips);
int pixelsToTwips(int pixels);

QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);
QPoint twipsPoint(int left, int top);
