// The two 16 x 16 sort arrows of the device list header: outlined triangles
// with a dark grey left side and a white right side and base.
#pragma once

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QPixmap>

#include "arrow_shape.h"

// Image 0 (up = true) or image 1 (up = false) of the arrow image list: the
// triangle's outline on a transparent background.
QImage ArrowListImage(bool up);

// A header arrow: a 16 x 16 image filled with the palette's button colour
// with the list image's outline on top.  The outline keeps its dark grey
// left side and white right side and base where they show on that colour;
// an edge that would vanish on it (white on a light face) takes the first
// of the palette's light, mid, dark and shadow colours that shows.
QPixmap MakeHeaderArrow(bool up, const QPalette &palette);
// The same for a palette made from the one colour face.
QPixmap MakeHeaderArrow(bool up, const QColor &face);
