#include <cmath>

#include <gtest/gtest.h>

#include "app/preview_view.h"

namespace grinsnap {
namespace {

constexpr double kG5 = 5.0 / 1.9;  // widening of a view shown at 5 screen pixels per image pixel

TEST(PreviewViewLayout, HandComputedLayouts) {
  struct Case {
    const char* what;
    int a, b, wc, hc;
    double s, ox, oy;  // state before
    int left, top, c, d;
    double j, k;
    double s2, ox2, oy2;  // state after
    double q;
    ViewRect dest, image;
  };
  const Case cases[] = {
      // Fitted: the limiting side fills the window, the other is centred.
      {"wide", 1000, 500, 500, 500, 1, 0, 0, 0, 0, 1000, 500, 1, 1, 1, 0, 0, 0.5, {0, 125, 500, 375}, {0, 125, 500, 375}},
      {"tall", 300, 1200, 600, 400, 1, 0, 0, 0, 0, 300, 1200, 1, 1, 1, 0, 0, 1 / 3.0, {250, 0, 350, 400}, {250, 0, 350, 400}},
      {"prepared", 800, 533, 800, 600, 1, 0, 0, 0, 0, 800, 533, 1, 1, 1, 0, 0, 1, {0, 33, 800, 566}, {0, 33, 800, 566}},
      // C = round(.5 * 500 * 2); left = trunc(1000 * .3); K = s ra / rb capped; oy clamped to 1 - K.
      {"zoomed", 1000, 500, 500, 500, .5, .3, .7, 300, 0, 500, 500, .5, 1, .5, .3, 0, 1, {0, 0, 500, 500}, {-300, 0, 700, 500}},
      {"past the end", 1000, 500, 500, 500, .5, .9, 0, 500, 0, 500, 500, .5, 1, .5, .5, 0, 1, {0, 0, 500, 500}, {-500, 0, 500, 500}},
      {"before the start", 1000, 500, 500, 500, .5, -.4, 0, 0, 0, 500, 500, .5, 1, .5, 0, 0, 1, {0, 0, 500, 500}, {0, 0, 1000, 500}},
      // m = min(8, 12) = 8: s grows by 8 / 1.9, the shifted edge clamps to 0,
      // the wholly visible picture is drawn at 1.9.
      {"small", 100, 50, 800, 600, 1, 0, 0, 0, 0, 100, 50, 1, 1, 8 / 1.9, 0, 0, 1.9, {305, 252, 495, 347}, {305, 252, 495, 347}},
      {"one pixel", 1, 1, 800, 600, 1, 0, 0, 0, 0, 1, 1, 1, 1, 600 / 1.9, 0, 0, 1.9, {399, 299, 401, 301}, {399, 299, 401, 301}},
      // m = 5: C = trunc(100 g) = 263, left = trunc(500 - (g - 1) 50) = 418;
      // image.left = -round(418 * 500 / 263).
      {"widened", 1000, 1000, 500, 500, .1, .5, .5, 418, 418, 263, 263, .1 * kG5, .1 * kG5, .1 * kG5,
       .5 - .1 * (kG5 - 1) / 2, .5 - .1 * (kG5 - 1) / 2, 500 / 263.0, {0, 0, 500, 500}, {-795, -795, 1106, 1106}},
      // Near the far edge the widened rectangle stops one pixel short of it.
      {"widened at the edge", 1000, 1000, 500, 500, .1, .9, .9, 736, 736, 263, 263, .1 * kG5, .1 * kG5, .1 * kG5,
       1 - .1 * kG5, 1 - .1 * kG5, 500 / 263.0, {0, 0, 500, 500}, {-1399, -1399, 502, 502}},
  };
  for (const Case& c : cases) {
    PreviewView v;
    v.SetState(c.s, c.ox, c.oy);
    const PreviewLayout& l = v.Layout(c.a, c.b, c.wc, c.hc);
    ASSERT_TRUE(l.valid) << c.what;
    EXPECT_EQ(l.srcLeft, c.left) << c.what;
    EXPECT_EQ(l.srcTop, c.top) << c.what;
    EXPECT_EQ(l.srcWidth, c.c) << c.what;
    EXPECT_EQ(l.srcHeight, c.d) << c.what;
    EXPECT_NEAR(l.visibleX, c.j, 1e-9) << c.what;
    EXPECT_NEAR(l.visibleY, c.k, 1e-9) << c.what;
    EXPECT_NEAR(v.Zoom(), c.s2, 1e-9) << c.what;
    EXPECT_NEAR(v.OriginX(), c.ox2, 1e-9) << c.what;
    EXPECT_NEAR(v.OriginY(), c.oy2, 1e-9) << c.what;
    EXPECT_EQ(l.limited, c.s2 != c.s) << c.what;
    EXPECT_NEAR(l.scale, c.q, 1e-9) << c.what;
    EXPECT_EQ(l.dest, c.dest) << c.what;
    EXPECT_EQ(v.Geometry().imageRect, c.image) << c.what;
    EXPECT_EQ(v.HandCursor(), c.s2 != 1) << c.what;
  }
}

TEST(PreviewViewZoom, FivePerCentStepsClampAndMoveTheOriginAboutThePoint) {
  const int a = 100000, b = 50000, wc = 500, hc = 500;  // never reaches the limit
  PreviewView v;
  v.Layout(a, b, wc, hc);
  v.ZoomStep(false, 250, 250, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);
  // J = 1, K = 1 before the step; f = 1/1.05 - 1; K = 2 s afterwards, so oy clamps to 0.
  const PreviewLayout& l = v.ZoomStep(true, 250, 100, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.Zoom(), 1 / 1.05);
  EXPECT_NEAR(v.OriginX(), (1 - 1 / 1.05) * 250 / 500, 1e-15);
  EXPECT_DOUBLE_EQ(v.OriginY(), 0.0);
  EXPECT_EQ(l.srcWidth, 95238);  // round(100000 / 1.05)
  EXPECT_EQ(l.srcLeft, 2380);    // trunc(100000 * 0.0238...)
  for (int i = 0; i < 200; ++i) v.ZoomStep(true, 0, 0, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.Zoom(), 0.01);
  for (int i = 0; i < 200; ++i) v.ZoomStep(false, 0, 0, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);

  // A small picture stays at the limit however often it is zoomed.
  PreviewView small;
  for (int i = 0; i < 2000; ++i) small.ZoomStep(true, 400, 300, 100, 50, 800, 600);
  EXPECT_NEAR(small.Zoom(), 8 / 1.9, 1e-9);
  small.ZoomStep(false, 400, 300, 100, 50, 800, 600);
  EXPECT_NEAR(small.Zoom(), 8 / 1.9, 1e-9);
  EXPECT_EQ(small.Current().dest, (ViewRect{305, 252, 495, 347}));
}

TEST(PreviewViewZoom, ThePointUnderThePointerStays) {
  const int cases[][3] = {{120, 80, 1}, {400, 300, 1}, {30, 280, 0}, {390, 20, 1}};
  for (const auto& c : cases) {
    PreviewView v;
    v.SetState(0.2, 0.3, 0.4);
    v.Layout(4000, 3000, 400, 300);  // zoomed so far that both directions fill the window
    double bx = 0, by = 0, ax = 0, ay = 0;
    ASSERT_TRUE(v.WindowToImage(c[0], c[1], &bx, &by));
    v.ZoomStep(c[2] != 0, c[0], c[1], 4000, 3000, 400, 300);
    ASSERT_TRUE(v.WindowToImage(c[0], c[1], &ax, &ay));
    // Only the truncated edge of the rectangle moves it, by at most a pixel.
    EXPECT_NEAR(ax, bx, 1.0) << c[0] << "," << c[1];
    EXPECT_NEAR(ay, by, 1.0) << c[0] << "," << c[1];
  }
}

TEST(PreviewViewPan, MovesByTheVisibleFractionAndClamps) {
  const int a = 1000, b = 1000, wc = 500, hc = 500;
  PreviewView v;
  v.SetState(0.5, 0, 0);  // J = K = 0.5
  const PreviewLayout& l = v.Pan(-100, -50, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.1);
  EXPECT_DOUBLE_EQ(v.OriginY(), 0.05);
  EXPECT_EQ(l.srcLeft, 100);
  EXPECT_EQ(l.srcTop, 50);
  double ix = 0, iy = 0, x = 0, y = 0;
  ASSERT_TRUE(v.WindowToImage(20, 30, &ix, &iy));  // drawn 1:1
  EXPECT_DOUBLE_EQ(ix, 120);
  EXPECT_DOUBLE_EQ(iy, 80);
  ASSERT_TRUE(v.ImageToWindow(ix, iy, &x, &y));
  EXPECT_DOUBLE_EQ(x, 20);
  v.Pan(-10000, -10000, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.5);
  EXPECT_EQ(v.Current().srcLeft, 500);
  v.Pan(30, 10000, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.47);
  EXPECT_DOUBLE_EQ(v.OriginY(), 0.0);
  v.SetState(1, 0, 0);  // fitted: nothing to move
  v.Pan(-200, -200, a, b, wc, hc);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.0);
}

TEST(PreviewViewEdges, DegenerateSizesAndStatesNeverBreakTheView) {
  PreviewView v;
  EXPECT_FALSE(v.Layout(0, 10, 100, 100).valid);
  EXPECT_FALSE(v.Layout(10, 10, 0, 100).valid);
  EXPECT_FALSE(v.Layout(-5, 10, 100, 100).valid);
  double ix = 0, iy = 0;
  EXPECT_FALSE(v.WindowToImage(1, 1, &ix, &iy));
  v.Pan(10, 10, 10, 10, 0, 0);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.0);
  // A tall picture in a one-pixel window at the closest zoom keeps a source pixel.
  v.SetState(0.01, 0.5, 0.5);
  const PreviewLayout& tiny = v.Layout(1, 4000, 1, 1);
  ASSERT_TRUE(tiny.valid);
  EXPECT_GE(tiny.srcWidth, 1);
  EXPECT_GE(tiny.srcHeight, 1);
  EXPECT_TRUE(std::isfinite(v.Zoom()));
  // A state that is not a number starts over.
  v.SetState(std::nan(""), std::nan(""), INFINITY);
  ASSERT_TRUE(v.Layout(100, 100, 100, 100).valid);
  EXPECT_DOUBLE_EQ(v.Zoom(), 1.0);
  EXPECT_DOUBLE_EQ(v.OriginX(), 0.0);
  EXPECT_DOUBLE_EQ(v.OriginY(), 0.0);
}

}  // namespace
}  // namespace grinsnap
