// The sort arrows' shape.
#include <gtest/gtest.h>

#include "arrow_shape.h"

namespace {

TEST(Arrows, ShapeOfBothTriangles)
{
  // Pixels of the up arrow (x, y); the down arrow has the same at row 15 - y.
  struct Pixel {
    int x, y;
    TArrowPixel kind;
  };
  const Pixel pixels[] = {
      {7, 4, TArrowPixel::Shadow},  {8, 4, TArrowPixel::Light},  {7, 5, TArrowPixel::Shadow},
      {8, 5, TArrowPixel::Light},   {6, 6, TArrowPixel::Shadow}, {9, 6, TArrowPixel::Light},
      {4, 10, TArrowPixel::Shadow}, {11, 11, TArrowPixel::Light}, {3, 12, TArrowPixel::Light},
      {12, 12, TArrowPixel::Light}, {7, 12, TArrowPixel::Light},  {2, 12, TArrowPixel::None},
      {13, 12, TArrowPixel::None},  {7, 3, TArrowPixel::None},    {7, 13, TArrowPixel::None},
      {7, 6, TArrowPixel::None},    {-1, 4, TArrowPixel::None},   {16, 12, TArrowPixel::None},
  };
  for (const Pixel &p : pixels) {
    EXPECT_EQ(ArrowPixel(true, p.x, p.y), p.kind) << p.x << "," << p.y;
    EXPECT_EQ(ArrowPixel(false, p.x, ARROW_SIZE - 1 - p.y), p.kind) << p.x << "," << p.y << " down";
  }
  // Two sides of eight rows and a base of ten: nothing else is drawn.
  for (bool up : {true, false}) {
    int drawn = 0;
    for (int y = 0; y < ARROW_SIZE; ++y)
      for (int x = 0; x < ARROW_SIZE; ++x)
        drawn += ArrowPixel(up, x, y) != TArrowPixel::None;
    EXPECT_EQ(drawn, 26);
  }
}

}  // namespace
