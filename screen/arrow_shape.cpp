#include "arrow_shape.h"

namespace {

constexpr int kApexRow = 4;
constexpr int kBaseRow = 12;
constexpr int kApexLeft = 7;

}  // namespace

TArrowPixel ArrowPixel(bool up, int x, int y)
{
  if (x < 0 || x >= ARROW_SIZE || y < 0 || y >= ARROW_SIZE)
    return TArrowPixel::None;
  int row = up ? y : ARROW_SIZE - 1 - y;
  const int base_spread = (kBaseRow - kApexRow) / 2;
  if (row == kBaseRow)
    return x >= kApexLeft - base_spread && x <= kApexLeft + 1 + base_spread ? TArrowPixel::Light
                                                                             : TArrowPixel::None;
  if (row < kApexRow || row > kBaseRow)
    return TArrowPixel::None;
  int spread = (row - kApexRow) / 2;
  if (x == kApexLeft - spread)
    return TArrowPixel::Shadow;
  if (x == kApexLeft + 1 + spread)
    return TArrowPixel::Light;
  return TArrowPixel::None;
}
