#pragma once
// Window lengths are kept in twips (1/1440 inch) as the layouts are drawn up; the screen works in
// pixels at 96 dots per inch, 15 twips each.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtMath>

namespace twips {
constexpr double kPorPixel = 15.0;
inline int px(int t) {
    return qRound(t / kPorPixel);
}
inline int desdePx(int p) {
    return qRound(p * kPorPixel);
}
inline QRect rect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}
inline QSize size(int width, int height) {
    return QSize(px(width), px(height));
}
} // namespace twips
