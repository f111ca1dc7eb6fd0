// Pixel-exact drawing of the sort arrows.  The up triangle has its apex two
// pixels wide in rows 4 and 5 (columns 7 and 8), widens by one pixel on each
// side every two rows and ends in a ten-pixel base in row 12 (columns 3 to
// 12).  The down triangle is its mirror image across the horizontal middle.
#include "arrows.h"

#include <cstdlib>
#include <initializer_list>

namespace {

const QRgb kShadow = qRgb(132, 132, 132);  // left side
const QRgb kLight = qRgb(255, 255, 255);   // right side and base

constexpr int kApexRow = 4;
constexpr int kBaseRow = 12;
constexpr int kApexLeft = 7;

}  // namespace

QImage ArrowListImage(bool up)
{
  QImage img(ARROW_SIZE, ARROW_SIZE, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  auto put = [&](int row, int col, QRgb c) {
    img.setPixel(col, up ? row : ARROW_SIZE - 1 - row, c);
  };
  for (int row = kApexRow; row < kBaseRow; ++row) {
    int spread = (row - kApexRow) / 2;
    put(row, kApexLeft - spread, kShadow);
    put(row, kApexLeft + 1 + spread, kLight);
  }
  int spread = (kBaseRow - kApexRow) / 2;
  for (int col = kApexLeft - spread; col <= kApexLeft + 1 + spread; ++col)
    put(kBaseRow, col, kLight);
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
