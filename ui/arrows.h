// The two 16 x 16 sort arrows of the device list header: outlined triangles
// with a dark grey left side and a white right side and base.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>

// Size of an arrow image in pixels (square).
constexpr int ARROW_SIZE = 16;

// Image 0 (up = true) or image 1 (up = false) of the arrow image list: the
// triangle's outline on a transparent background.
QImage ArrowListImage(bool up);

// A header arrow: a 16 x 16 image filled with face (the button-face colour)
// with the list image drawn on top.
QPixmap MakeHeaderArrow(bool up, const QColor &face);
