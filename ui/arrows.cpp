// Pixel-exact drawing of the sort arrows.  The up triangle has its apex two
// pixels wide in rows 4 and 5 (columns 7 and 8), widens by one pixel on each
// side every two rows and ends in a ten-pixel base in row 12 (columns 3 to
// 12).  The down triangle is its mirror image across the horizontal middle.
#include "arrows.h"

#include <QPainter>

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

QPixmap MakeHeaderArrow(bool up, const QColor &face)
{
  QImage img(ARROW_SIZE, ARROW_SIZE, QImage::Format_ARGB32);
  img.fill(face);
  QPainter p(&img);
  p.drawImage(0, 0, ArrowListImage(up));
  p.end();
  return QPixmap::fromImage(img);
}
