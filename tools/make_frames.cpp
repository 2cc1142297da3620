// Writes the pictures of the frame templates into frames/ of the given
// template folder: a wooden frame, a gilt frame with an oval mat, an instant
// photo lying on a table, a film strip with three frames, and a sepia
// keepsake card, with the masks that key the windows of the gilt frame and
// the film strip and the second picture the keepsake blends towards; and
// into 3d/ the backdrop, model and model configuration of the photo cube.
// All are made procedurally here; nothing is drawn by hand or downloaded.
// Run by scripts/make-textures.sh; the files it writes are committed with
// the templates.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "filters/drawing/textures.h"
#include "templates/mesh_template.h"
#include "tools/mesh_shapes.h"

namespace {

using namespace grinsnap;

// Smooth noise in -1..1, the same for the same seed.
cv::Mat Noise(cv::Size size, double blur, std::uint64_t seed) {
  cv::RNG rng(seed);
  cv::Mat n(size, CV_32F);
  rng.fill(n, cv::RNG::NORMAL, 0.0, 1.0);
  if (blur > 0) cv::GaussianBlur(n, n, cv::Size(), blur);
  double lo = 0, hi = 0;
  cv::minMaxLoc(n, &lo, &hi);
  const double m = std::max(std::fabs(lo), std::fabs(hi));
  if (m > 0) n /= m;
  return n;
}

cv::Vec3f Mix(const cv::Vec3f& a, const cv::Vec3f& b, float t) { return a + (b - a) * t; }

cv::Vec3b ToByte(const cv::Vec3f& v) {
  return {cv::saturate_cast<uchar>(v[0]), cv::saturate_cast<uchar>(v[1]), cv::saturate_cast<uchar>(v[2])};
}

// Which side of a frame of border b a pixel lies on (mitred corners), and
// how far into the border it is (0 at the outer edge, 1 at the opening).
struct Side {
  int side = -1;  // 0 top, 1 right, 2 bottom, 3 left; -1 inside the opening
  float t = 0;
};

Side SideOf(int x, int y, cv::Size size, int border) {
  const int d[4] = {y, size.width - 1 - x, size.height - 1 - y, x};
  int side = 0;
  for (int i = 1; i < 4; ++i)
    if (d[i] < d[side]) side = i;
  if (d[side] >= border) return {};
  return {side, static_cast<float>(d[side]) / border};
}

// Light from the top left: the top and left sides face it.
constexpr float kSideLight[4] = {1.12f, 0.86f, 0.72f, 1.02f};

cv::Mat WoodenFrame(cv::Size size, int border) {
  const cv::Mat along = MakeWoodTexture(WoodKind::kLight, 512);
  cv::Mat across;
  cv::rotate(along, across, cv::ROTATE_90_CLOCKWISE);
  cv::Mat out(size, CV_8UC3, cv::Scalar(128, 128, 128));
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const Side s = SideOf(x, y, size, border);
      if (s.side < 0) continue;
      // The grain runs along each side.
      const cv::Mat& wood = (s.side == 0 || s.side == 2) ? across : along;
      const cv::Vec3b w = wood.at<cv::Vec3b>(y % wood.rows, x % wood.cols);
      // The moulding: a rounded outer lip, a flat, a cove and a bright bead at the opening.
      float shade = 1.0f;
      const float t = s.t;
      if (t < 0.18f) shade = 0.75f + 0.45f * std::sin(t / 0.18f * std::numbers::pi_v<float> * 0.5f);
      else if (t < 0.68f) shade = 1.05f - 0.1f * (t - 0.18f);
      else if (t < 0.9f) shade = 0.7f + 0.25f * std::cos((t - 0.68f) / 0.22f * std::numbers::pi_v<float>);
      else shade = 1.2f - 1.5f * (t - 0.9f);
      const bool mitre = std::abs(std::min(x, size.width - 1 - x) - std::min(y, size.height - 1 - y)) < 1;
      const float light = kSideLight[s.side] * (mitre ? 0.6f : 1.0f);
      const cv::Vec3f c(w[0] * 0.85f, w[1] * 0.9f, w[2] * 1.0f);
      out.at<cv::Vec3b>(y, x) = ToByte(c * (shade * light));
    }
  return out;
}

// Gold for a height 0 (deep) to 1 (highlight).
cv::Vec3f Gold(float h) {
  const cv::Vec3f deep(10, 45, 85), mid(40, 140, 205), bright(170, 235, 255);
  h = std::clamp(h, 0.0f, 1.0f);
  return h < 0.6f ? Mix(deep, mid, h / 0.6f) : Mix(mid, bright, (h - 0.6f) / 0.4f);
}

void GiltFrame(cv::Size size, int border, cv::Mat& frame, cv::Mat& mask, cv::Rect& oval) {
  const cv::Mat patina = Noise(size, 1.2, 7);
  const cv::Mat tarnish = Noise(size, 14, 8);
  frame.create(size, CV_8UC3);
  // The mat: warm cream card with a faint fibre.
  const cv::Mat fibre = Noise(size, 0.8, 9);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float f = fibre.at<float>(y, x);
      frame.at<cv::Vec3b>(y, x) = ToByte(cv::Vec3f(196, 222, 232) + cv::Vec3f::all(6 * f));
    }
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const Side s = SideOf(x, y, size, border);
      if (s.side < 0) continue;
      // Ridges across the moulding, brightest on the sides facing the light.
      const float t = s.t;
      float h = 0.55f + 0.35f * std::sin(t * std::numbers::pi_v<float> * 4.5f) * std::cos(t * 2.0f);
      if (t > 0.86f) h = 0.95f - (t - 0.86f) * 4.0f;  // the sight edge
      // A row of beads a third of the way in.
      const float along = (s.side == 0 || s.side == 2) ? static_cast<float>(x) : static_cast<float>(y);
      const float across = (t - 0.36f) * border;
      const float bead = std::fmod(along, 16.0f) - 8.0f;
      const float r2 = (bead * bead + across * across) / 36.0f;
      if (r2 < 1.0f) h = 0.35f + 0.65f * std::sqrt(1.0f - r2) - 0.25f * (bead + across) / 6.0f;
      h *= kSideLight[s.side];
      h += 0.08f * patina.at<float>(y, x);
      cv::Vec3f c = Gold(h);
      c = Mix(c, cv::Vec3f(30, 50, 60), std::max(0.0f, tarnish.at<float>(y, x)) * 0.25f);
      frame.at<cv::Vec3b>(y, x) = ToByte(c);
    }
  // The oval opening with the bevelled cut of the mat around it.
  const cv::Point centre(size.width / 2, size.height / 2);
  const cv::Size axes(size.width / 2 - border - 36, size.height / 2 - border - 30);
  cv::ellipse(frame, centre, axes + cv::Size(9, 9), 0, 0, 360, cv::Scalar(226, 240, 246), -1, cv::LINE_AA);
  cv::ellipse(frame, centre, axes + cv::Size(10, 10), 0, 0, 360, cv::Scalar(168, 190, 202), 1, cv::LINE_AA);
  cv::ellipse(frame, centre, axes, 0, 0, 360, cv::Scalar(128, 128, 128), -1, cv::LINE_AA);
  mask = cv::Mat(size, CV_8UC3, cv::Scalar(255, 255, 255));
  cv::ellipse(mask, centre, axes, 0, 0, 360, cv::Scalar(0, 0, 255), -1, cv::LINE_8);
  oval = cv::Rect(centre.x - axes.width, centre.y - axes.height, 2 * axes.width + 1, 2 * axes.height + 1);
}

// Rotates p about c by the angle (degrees, clockwise on the picture).
cv::Point2f Turn(cv::Point2f p, cv::Point2f c, float degrees) {
  const float a = degrees * std::numbers::pi_v<float> / 180.0f;
  const cv::Point2f d = p - c;
  return {c.x + d.x * std::cos(a) - d.y * std::sin(a), c.y + d.x * std::sin(a) + d.y * std::cos(a)};
}

void InstantPhoto(cv::Size size, cv::Mat& frame, std::vector<cv::Point>& window) {
  cv::resize(MakeWoodTexture(WoodKind::kDark, 512), frame, size, 0, 0, cv::INTER_CUBIC);
  cv::rotate(frame.clone(), frame, cv::ROTATE_90_CLOCKWISE);
  cv::resize(frame, frame, size, 0, 0, cv::INTER_CUBIC);
  const cv::Point2f c(size.width * 0.5f, size.height * 0.5f + 4);
  const float angle = -5.0f;
  const cv::Size card(372, 452);
  const auto outline = [&](cv::Rect r) {
    std::vector<cv::Point> p;
    for (cv::Point2f q : {cv::Point2f(r.x, r.y), cv::Point2f(r.br().x, r.y), cv::Point2f(r.br()),
                          cv::Point2f(r.x, r.br().y)})
      p.push_back(Turn(q, c, angle));
    return p;
  };
  const cv::Rect cardRect(static_cast<int>(c.x) - card.width / 2, static_cast<int>(c.y) - card.height / 2, card.width,
                          card.height);
  // A soft shadow below and to the right of the card.
  cv::Mat shadow(size, CV_32F, cv::Scalar(0));
  std::vector<cv::Point> shadowOutline = outline(cardRect + cv::Point(10, 14));
  cv::fillConvexPoly(shadow, shadowOutline, cv::Scalar(1), cv::LINE_AA);
  cv::GaussianBlur(shadow, shadow, cv::Size(), 11);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      cv::Vec3b& p = frame.at<cv::Vec3b>(y, x);
      const float k = 1.0f - 0.6f * shadow.at<float>(y, x);
      p = ToByte(cv::Vec3f(p[0], p[1], p[2]) * k);
    }
  // The card: warm white with a faint grain, a little darker at its edge.
  const cv::Mat grain = Noise(size, 0.7, 11);
  cv::Mat cardMask(size, CV_8U, cv::Scalar(0));
  cv::fillConvexPoly(cardMask, outline(cardRect), cv::Scalar(255), cv::LINE_AA);
  cv::Mat edge;
  cv::distanceTransform(cardMask > 128, edge, cv::DIST_L2, 3);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float a = cardMask.at<uchar>(y, x) / 255.0f;
      if (a <= 0) continue;
      const float rim = std::min(1.0f, edge.at<float>(y, x) / 4.0f);
      const cv::Vec3f white = cv::Vec3f(232, 240, 243) * (0.93f + 0.07f * rim) + cv::Vec3f::all(3 * grain.at<float>(y, x));
      cv::Vec3b& p = frame.at<cv::Vec3b>(y, x);
      p = ToByte(Mix(cv::Vec3f(p[0], p[1], p[2]), white, a));
    }
  // The picture area: 26 pixels of card at the top and the sides, a wide strip below.
  const cv::Rect picture(cardRect.x + 26, cardRect.y + 26, card.width - 52, card.width - 52);
  window = outline(picture);
  cv::fillConvexPoly(frame, window, cv::Scalar(60, 60, 60), cv::LINE_AA);
}

void FilmStrip(cv::Size size, cv::Mat& frame, cv::Mat& mask, std::vector<cv::Rect>& windows) {
  // A light table behind the strip, brightest in the middle.
  frame.create(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float dx = (x - size.width * 0.5f) / size.width, dy = (y - size.height * 0.5f) / size.height;
      const float glow = 1.0f - 0.35f * (dx * dx + dy * dy) * 2.0f;
      frame.at<cv::Vec3b>(y, x) = ToByte(cv::Vec3f(250, 246, 238) * glow);
    }
  const cv::Mat table = frame.clone();
  const int top = 36, bottom = size.height - 36;
  const cv::Mat grain = Noise(size, 0.8, 13);
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < size.width; ++x)
      frame.at<cv::Vec3b>(y, x) = ToByte(cv::Vec3f(22, 26, 32) + cv::Vec3f::all(4 * grain.at<float>(y, x)));
  // Sprocket holes along both edges show the light table through the film.
  for (int x = 10; x + 18 < size.width; x += 32)
    for (int y : {top + 14, bottom - 30}) {
      cv::Mat hole(size, CV_8U, cv::Scalar(0));
      cv::rectangle(hole, cv::Rect(x, y, 18, 16), cv::Scalar(255), -1, cv::LINE_AA);
      cv::GaussianBlur(hole, hole, cv::Size(3, 3), 0.6);
      for (int yy = y - 2; yy < y + 18; ++yy)
        for (int xx = x - 2; xx < x + 20; ++xx) {
          const float a = hole.at<uchar>(yy, xx) / 255.0f;
          const cv::Vec3b t = table.at<cv::Vec3b>(yy, xx);
          cv::Vec3b& p = frame.at<cv::Vec3b>(yy, xx);
          p = ToByte(Mix(cv::Vec3f(p[0], p[1], p[2]), cv::Vec3f(t[0], t[1], t[2]) * 0.97f, a));
        }
    }
  // Three frames and the edge markings printed on the film.
  mask = cv::Mat(size, CV_8UC3, cv::Scalar(255, 255, 255));
  const cv::Scalar keys[3] = {cv::Scalar(0, 0, 255), cv::Scalar(0, 255, 0), cv::Scalar(255, 0, 0)};
  const int fw = 280, fh = 196, gap = (size.width - 3 * fw) / 4;
  const int fy = (size.height - fh) / 2;
  for (int i = 0; i < 3; ++i) {
    const cv::Rect r(gap + i * (fw + gap), fy, fw, fh);
    windows.push_back(r);
    const auto rounded = [&](cv::Mat& into, const cv::Scalar& colour, int type) {
      constexpr int rad = 10;
      cv::rectangle(into, cv::Rect(r.x + rad, r.y, r.width - 2 * rad, r.height), colour, -1, type);
      cv::rectangle(into, cv::Rect(r.x, r.y + rad, r.width, r.height - 2 * rad), colour, -1, type);
      for (cv::Point c : {cv::Point(r.x + rad, r.y + rad), cv::Point(r.br().x - rad - 1, r.y + rad),
                          cv::Point(r.x + rad, r.br().y - rad - 1), cv::Point(r.br().x - rad - 1, r.br().y - rad - 1)})
        cv::circle(into, c, rad, colour, -1, type);
    };
    rounded(frame, cv::Scalar(90, 90, 90), cv::LINE_AA);
    rounded(mask, keys[i], cv::LINE_8);
    const std::string number = std::to_string(21 + i);
    cv::putText(frame, number, {r.x + 6, top + 10}, cv::FONT_HERSHEY_SIMPLEX, 0.32, cv::Scalar(60, 150, 235), 1,
                cv::LINE_AA);
    cv::putText(frame, number + "A", {r.x + fw / 2, top + 10}, cv::FONT_HERSHEY_SIMPLEX, 0.32,
                cv::Scalar(60, 150, 235), 1, cv::LINE_AA);
    cv::putText(frame, "GRINSNAP 400", {r.x + 40, bottom - 4}, cv::FONT_HERSHEY_SIMPLEX, 0.32,
                cv::Scalar(60, 150, 235), 1, cv::LINE_AA);
  }
}

void Keepsake(cv::Size size, cv::Rect window, cv::Mat& frame, cv::Mat& paper) {
  // A cream card with a pressed double rule; the window is printed in brown
  // ink on the card's paper, the photo's brightness choosing between them.
  const cv::Mat texture = MakePaperTexture(PaperKind::kColdPress, 512);
  cv::Mat grain;
  cv::resize(texture, grain, size, 0, 0, cv::INTER_LINEAR);
  paper.create(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float g = (grain.at<uchar>(y, x) - 128) / 128.0f;
      const float dx = (x - size.width * 0.5f) / size.width, dy = (y - size.height * 0.5f) / size.height;
      const float age = 1.0f - 0.25f * (dx * dx + dy * dy) * 4.0f;  // darker towards the edges
      paper.at<cv::Vec3b>(y, x) = ToByte((cv::Vec3f(184, 214, 232) + cv::Vec3f::all(14 * g)) * age);
    }
  frame = paper.clone();
  const cv::Rect outer(34, 30, size.width - 68, size.height - 60);
  cv::rectangle(frame, outer, cv::Scalar(70, 110, 150), 2, cv::LINE_AA);
  cv::rectangle(frame, cv::Rect(outer.x + 8, outer.y + 8, outer.width - 16, outer.height - 16),
                cv::Scalar(90, 130, 165), 1, cv::LINE_AA);
  cv::putText(frame, "~ Keepsake ~", {size.width / 2 - 70, size.height - 48}, cv::FONT_HERSHEY_SCRIPT_SIMPLEX, 0.9,
              cv::Scalar(60, 90, 120), 1, cv::LINE_AA);
  // The ink: a dark warm brown with the paper's grain showing through.
  for (int y = window.y; y < window.br().y; ++y)
    for (int x = window.x; x < window.br().x; ++x) {
      const float g = (grain.at<uchar>(y, x) - 128) / 128.0f;
      frame.at<cv::Vec3b>(y, x) = ToByte(cv::Vec3f(34, 46, 70) + cv::Vec3f::all(8 * g));
    }
}

// A studio backdrop: a lit circle in the middle fading to a dark blue-grey.
cv::Mat Backdrop(cv::Size size) {
  cv::Mat out(size, CV_8UC3);
  const cv::Mat grain = Noise(size, 1.0, 17);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float dx = (x - size.width * 0.5f) / size.height, dy = (y - size.height * 0.42f) / size.height;
      const float r = std::sqrt(dx * dx + dy * dy);
      const float lit = std::exp(-r * r * 3.2f);
      const cv::Vec3f c = Mix(cv::Vec3f(52, 36, 28), cv::Vec3f(150, 132, 118), lit) + cv::Vec3f::all(2 * grain.at<float>(y, x));
      out.at<cv::Vec3b>(y, x) = ToByte(c);
    }
  return out;
}

// A tile of the tile collage: its texture (a pale rim with alpha, clear
// around the shape) and its mask (white where the photo shows), drawn
// from a polygon in fractions of the tile. The photo shows inside a band
// a little inside the rim.
void Tile(const std::vector<cv::Point2f>& shape, cv::Mat& texture, cv::Mat& mask) {
  const int side = 256;
  const float inset = 0.055f;
  cv::Point2f centre(0, 0);
  for (const cv::Point2f& p : shape) centre += p;
  centre *= 1.0f / static_cast<float>(shape.size());
  std::vector<cv::Point> outer, inner;
  for (const cv::Point2f& p : shape) {
    outer.emplace_back(cvRound(p.x * side), cvRound(p.y * side));
    const cv::Point2f q = p + (centre - p) * (inset / std::max(0.1f, static_cast<float>(cv::norm(centre - p)) * 2));
    inner.emplace_back(cvRound(q.x * side), cvRound(q.y * side));
  }
  cv::Mat alpha(side, side, CV_8UC1, cv::Scalar(0));
  cv::fillPoly(alpha, std::vector<std::vector<cv::Point>>{outer}, cv::Scalar(255), cv::LINE_AA);
  mask = cv::Mat(side, side, CV_8UC3, cv::Scalar(0, 0, 0));
  cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{inner}, cv::Scalar(255, 255, 255), cv::LINE_AA);
  cv::GaussianBlur(mask, mask, cv::Size(0, 0), 1.5);
  // The rim is lit from the upper left.
  texture.create(side, side, CV_8UC4);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const float t = static_cast<float>(x + y) / (2.0f * side);
      const cv::Vec3f c = Mix({236, 242, 246}, {150, 160, 170}, t);
      const cv::Vec3b b = ToByte(c);
      texture.at<cv::Vec4b>(y, x) = cv::Vec4b(b[0], b[1], b[2], alpha.at<std::uint8_t>(y, x));
    }
}

void PrintQuad(const char* name, const std::vector<cv::Point>& p) {
  std::printf("%s window: (%d,%d) (%d,%d) (%d,%d) (%d,%d)\n", name, p[0].x, p[0].y, p[1].x, p[1].y, p[3].x, p[3].y,
              p[2].x, p[2].y);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::filesystem::path folder = root / "frames";
  const std::filesystem::path folder3d = root / "3d";
  std::filesystem::create_directories(folder);
  std::filesystem::create_directories(folder3d);
  const cv::Size size(800, 600);

  cv::Mat giltFrame, giltMask, filmFrame, filmMask, instant, keepsake, keepsakePaper;
  cv::Rect oval;
  GiltFrame(size, 104, giltFrame, giltMask, oval);
  std::vector<cv::Point> instantWindow;
  InstantPhoto(size, instant, instantWindow);
  std::vector<cv::Rect> film;
  FilmStrip({960, 400}, filmFrame, filmMask, film);
  const cv::Rect keepsakeWindow(110, 84, 580, 390);
  Keepsake(size, keepsakeWindow, keepsake, keepsakePaper);

  const struct {
    const char* name;
    cv::Mat picture;
  } pictures[] = {
      {"wood_frame.png", WoodenFrame(size, 84)},
      {"gilt_frame.png", giltFrame},
      {"gilt_mask.png", giltMask},
      {"instant_photo.png", instant},
      {"film_strip.png", filmFrame},
      {"film_strip_mask.png", filmMask},
      {"keepsake.png", keepsake},
      {"keepsake_paper.png", keepsakePaper},
  };
  // Compression level 9 and no timestamps: the same build writes the same bytes.
  const std::vector<int> options = {cv::IMWRITE_PNG_COMPRESSION, 9};
  for (const auto& p : pictures) {
    const std::filesystem::path path = folder / p.name;
    if (!cv::imwrite(path.string(), p.picture, options)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s %dx%d\n", path.c_str(), p.picture.cols, p.picture.rows);
  }
  if (!cv::imwrite((folder3d / "cube_backdrop.png").string(), Backdrop(size), options)) {
    std::fprintf(stderr, "cannot write the backdrop\n");
    return 1;
  }
  // The cube turned towards the viewer, a little from above; its viewport
  // is the whole picture.
  std::string error;
  if (!SaveMeshFile(folder3d / "cube_collage.mesh", meshes::Cube(), 0, &error)) {
    std::fprintf(stderr, "cannot write the cube: %s\n", error.c_str());
    return 1;
  }
  ModelConfig config;
  const float tilt = 0.42f, turn = 0.6f;
  const Matrix3 aboutX = {1, 0, 0, 0, std::cos(tilt), -std::sin(tilt), 0, std::sin(tilt), std::cos(tilt)};
  const Matrix3 aboutY = {std::cos(turn), 0, std::sin(turn), 0, 1, 0, -std::sin(turn), 0, std::cos(turn)};
  config.restRotation = MultiplyMatrices(aboutY, aboutX);
  config.restPosition = {0, 0, -3.6f};
  config.viewport = {0, 0, 1, 1};
  config.fieldOfView = 0.62f;
  const auto bytes = SerialiseModelConfig(config);
  {
    std::ofstream out(folder3d / "cube_collage.cfg", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write the cube's configuration\n");
      return 1;
    }
  }
  // The teapot of the two model templates, a little from above, filling
  // most of the picture through a narrow field of view.
  if (!SaveMeshFile(folder3d / "teapot.mesh", meshes::Teapot(), 0, &error)) {
    std::fprintf(stderr, "cannot write the teapot: %s\n", error.c_str());
    return 1;
  }
  ModelConfig teapot;
  const float lookDown = 0.3f;
  teapot.restRotation = {1, 0, 0, 0, std::cos(lookDown), -std::sin(lookDown), 0, std::sin(lookDown), std::cos(lookDown)};
  teapot.restPosition = {0, 0, -3};
  teapot.fieldOfView = 0.7f;
  const auto teapotBytes = SerialiseModelConfig(teapot);
  {
    std::ofstream out(folder3d / "teapot.cfg", std::ios::binary);
    out.write(reinterpret_cast<const char*>(teapotBytes.data()), static_cast<std::streamsize>(teapotBytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write the teapot's configuration\n");
      return 1;
    }
  }
  // The tiles of the tile collage: squares, the upper and lower bricks of
  // a running bond (bricks alternate between the two), and a hexagon with
  // its points up.
  const std::filesystem::path folderCollage = root / "collage";
  std::filesystem::create_directories(folderCollage);
  const float e = 0.05f / 1.1f, q = 0.25f / 1.1f;
  const struct {
    const char* name;
    std::vector<cv::Point2f> shape;
  } tiles[] = {
      {"tile_square", {{0.04f, 0.04f}, {0.92f, 0.04f}, {0.92f, 0.92f}, {0.04f, 0.92f}}},
      {"tile_brick_top", {{e, e}, {1 - e, e}, {1 - e, 0.5f}, {e, 0.5f}}},
      {"tile_brick_bottom", {{e, 0.5f}, {1 - e, 0.5f}, {1 - e, 1 - e}, {e, 1 - e}}},
      {"tile_hexagon", {{0.5f, e}, {1 - e, 0.5f - q}, {1 - e, 0.5f + q}, {0.5f, 1 - e}, {e, 0.5f + q}, {e, 0.5f - q}}},
  };
  for (const auto& tile : tiles) {
    cv::Mat texture, mask;
    Tile(tile.shape, texture, mask);
    const std::filesystem::path base = folderCollage / tile.name;
    if (!cv::imwrite(base.string() + ".png", texture, options) ||
        !cv::imwrite(base.string() + "_mask.png", mask, options)) {
      std::fprintf(stderr, "cannot write %s\n", base.c_str());
      return 1;
    }
  }
  // The windows the template documents name.
  std::printf("gilt oval: %d %d %d %d\n", oval.x, oval.y, oval.br().x, oval.br().y);
  PrintQuad("instant", instantWindow);
  for (const cv::Rect& r : film) std::printf("film window: %d %d %d %d\n", r.x, r.y, r.br().x, r.br().y);
  return 0;
}
