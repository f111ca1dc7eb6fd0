// The sort arrows on Qt: the shared shape (arrow_shape.h) as images.
#include "arrows.h"

#include <cstdlib>
#include <initializer_list>

namespace {

const QRgb kShadow = 0xFF000000u | ARROW_SHADOW_RGB;  // left side
const QRgb kLight = 0xFF000000u | ARROW_LIGHT_RGB;    // right side and base

}  // namespace

QImage ArrowListImage(bool up)
{
  QImage img(ARROW_SIZE, ARROW_SIZE, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  for (int y = 0; y < ARROW_SIZE; ++y)
    for (int x = 0; x < ARROW_SIZE; ++x)
      switch (ArrowPixel(up, x, y)) {
      case TArrowPixel::Shadow:
        img.setPixel(x, y, kShadow);
        break;
      case TArrowPixel::Light:
        img.setPixel(x, y, kLight);
        break;
      case TArrowPixel::None:
        break;
      }
  return img;
}

namespace {

// Smallest difference in grey level at which an edge shows on the face.
constexpr int kMinContrast = 40;

int Contrast(const QColor &a, const QColor &b)
{
  return std::abs(qGray(a.rgb()) - qGray(b.rgb()));
}

// The first candidate that shows on face, else the one that shows most.
QColor FirstShowing(std::initializer_list<QColor> candidates, const QColor &face)
{
  QColor best = *candidates.begin();
  for (const QColor &c : candidates) {
    if (Contrast(c, face) >= kMinContrast)
      return c;
    if (Contrast(c, face) > Contrast(best, face))
      best = c;
  }
  return best;
}

}  // namespace

QPixmap MakeHeaderArrow(bool up, const QPalette &palette)
{
  const QColor face = palette.color(QPalette::Button);
  const QColor shadow = FirstShowing({QColor(kShadow), palette.color(QPalette::Dark),
                                      palette.color(QPalette::Shadow)}, face);
  const QColor light = FirstShowing({QColor(kLight), palette.color(QPalette::Light), palette.color(QPalette::Mid),
                                     palette.color(QPalette::Dark), palette.color(QPalette::Shadow)}, face);
  const QImage shape = ArrowListImage(up);
  QImage img(ARROW_SIZE, ARROW_SIZE, QImage::Format_ARGB32);
  img.fill(face);
  for (int y = 0; y < ARROW_SIZE; ++y)
    for (int x = 0; x < ARROW_SIZE; ++x) {
      QRgb p = shape.pixel(x, y);
      if (qAlpha(p) != 0)
        img.setPixel(x, y, (p == kShadow ? shadow : light).rgb());
    }
  return QPixmap::fromImage(img);
}

QPixmap MakeHeaderArrow(bool up, const QColor &face)
{
  return MakeHeaderArrow(up, QPalette(face));
}
