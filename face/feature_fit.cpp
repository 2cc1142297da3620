#include "face/feature_fit.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <opencv2/imgproc.hpp>

namespace grinsnap {

namespace {

// The window of the contrast map: 10 pixels before and 9 after each pixel.
constexpr int kWindowBefore = 10;
constexpr int kWindowAfter = 9;

// Band samples whose weight is at most this are left out.
constexpr double kMinWeight = 4.0 / 255.0;
// exp(-e) <= kMinWeight exactly when e >= ln(255 / 4); an exponent beyond it
// by more than any rounding can reach is skipped without calling exp.
const double kSkipExponent = std::log(255.0 / 4.0) + 1e-9;

// Levels at least this wide score a step's trials in parallel.
constexpr int kParallelTrialsFrom = 100;

bool Stopped(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

float ClampCurvature(float c) { return std::clamp(c, -kMaxCurvature, kMaxCurvature); }

// Keeps a shape parameter within its bounds unless both are zero.
void ClampToBounds(FeatureRecord& r, int param) {
  if (param < FeatureRecord::kWidth || param > FeatureRecord::kSlope) return;
  const int maxIndex = FeatureRecord::kWidthMax + 2 * (param - FeatureRecord::kWidth);
  const float hi = r[maxIndex], lo = r[maxIndex + 1];
  if (hi == 0 && lo == 0) return;
  if (r[param] < lo)
    r[param] = lo;
  else if (r[param] > hi)
    r[param] = hi;
}

// Spring stiffness between two mouth nodes: stiff towards the corners, soft
// among the upper lip, centre and lower lip.
double MouthSpring(int j, int i) {
  const bool corner = j == 0 || j == 4 || i == 0 || i == 4;
  return corner ? 0.1 : 0.03;
}

}  // namespace

void BuildContrastMap(const cv::Mat& patch, cv::Mat& contrast) {
  CV_Assert(patch.type() == CV_8UC3);
  cv::Mat grey;
  // The patch holds BGR data; the RGB-order weights make blue count 0.299.
  cv::cvtColor(patch, grey, cv::COLOR_RGB2GRAY);
  cv::Mat sum, squares;
  cv::integral(grey, sum, squares, CV_32S, CV_64F);

  const int rows = patch.rows, cols = patch.cols;
  // Windows are clipped to rows and columns 0..size-2: the last row and
  // column of the patch never take part.
  const int lastRow = rows - 2, lastCol = cols - 2;
  contrast.create(rows, cols, CV_8UC1);
  for (int r = 0; r < rows; ++r) {
    const int r0 = std::max(r - kWindowBefore, 0), r1 = std::min(r + kWindowAfter, lastRow);
    std::uint8_t* out = contrast.ptr<std::uint8_t>(r);
    if (r1 < r0) {
      std::fill(out, out + cols, std::uint8_t{0});
      continue;
    }
    const std::int32_t* s0 = sum.ptr<std::int32_t>(r0);
    const std::int32_t* s1 = sum.ptr<std::int32_t>(r1 + 1);
    const double* q0 = squares.ptr<double>(r0);
    const double* q1 = squares.ptr<double>(r1 + 1);
    for (int c = 0; c < cols; ++c) {
      const int c0 = std::max(c - kWindowBefore, 0), c1 = std::min(c + kWindowAfter, lastCol);
      const int n = (r1 - r0 + 1) * (c1 - c0 + 1);
      if (c1 < c0 || n <= 0) {
        out[c] = 0;
        continue;
      }
      const double total = static_cast<double>(s1[c1 + 1] - s0[c1 + 1] - s1[c0] + s0[c0]);
      const double totalSquares = q1[c1 + 1] - q0[c1 + 1] - q1[c0] + q0[c0];
      const double mean = total / n;
      const double variance = totalSquares / n - mean * mean;
      // A flat window may come out a hair below zero.
      out[c] = variance > 0 ? static_cast<std::uint8_t>(std::sqrt(variance)) : 0;
    }
  }
}

void BuildMeanPyramid(const cv::Mat& base, std::vector<cv::Mat>& levels) {
  CV_Assert(base.type() == CV_8UC1);
  levels.clear();
  const cv::Mat* below = &base;
  while (below->cols > 0 && below->rows > 0 && (below->cols % 2 == 0 || below->rows % 2 == 0)) {
    const int cols = below->cols / 2, rows = below->rows / 2;
    if (cols == 0 || rows == 0) break;
    cv::Mat level(rows, cols, CV_8UC1);
    for (int r = 0; r < rows; ++r) {
      const std::uint8_t* a = below->ptr<std::uint8_t>(2 * r);
      const std::uint8_t* b = below->ptr<std::uint8_t>(2 * r + 1);
      std::uint8_t* out = level.ptr<std::uint8_t>(r);
      for (int c = 0; c < cols; ++c) out[c] = static_cast<std::uint8_t>((a[2 * c] + a[2 * c + 1] + b[2 * c] + b[2 * c + 1]) >> 2);
    }
    levels.push_back(level);
    below = &levels.back();
  }
}

void BuildFeatureMaps(const cv::Mat& patch, FeatureMaps& maps) {
  BuildContrastMap(patch, maps.contrast);
  BuildMeanPyramid(maps.contrast, maps.pyramid);
}

float ScoreFeature(const FeatureRecord& record, const cv::Mat& level, int p) {
  if (level.empty()) return 0;
  CV_Assert(level.type() == CV_8UC1);
  const double f = std::ldexp(1.0, -p);
  const double cx = record.X() * f, cy = record.Y() * f;
  const double W = record.Width() * f, H = record.Height() * f;
  const double C = ClampCurvature(record.Curvature()) / f;
  const double S = record.Slope();
  // A band without length or thickness has no samples (and would divide by zero).
  if (W == 0 || H == 0 || !std::isfinite(cx + cy + W + H + S + C)) return 0;

  const double sag = C * W * W / 4;
  // Columns and rows outside the level image are skipped; clamping the
  // loops to it first skips the same samples without visiting them.
  const double colLo = std::floor(cx - W / 2), colHi = std::ceil(cx + W / 2);
  const int i0 = static_cast<int>(std::clamp(colLo, 0.0, static_cast<double>(level.cols)));
  const int i1 = static_cast<int>(std::clamp(colHi, -1.0, static_cast<double>(level.cols - 1)));
  // w = exp(-(16 dy^2 / H^2 + 16 dx^2 / W^2)), the factors taken out of the loops.
  const double kx = 16 / (W * W), ky = 16 / (H * H);
  const std::size_t stride = level.step[0];
  double sumW2 = 0, sumWP = 0, sumP2 = 0;
  long n = 0;
  for (int i = i0; i <= i1; ++i) {
    const double dx = i - cx;
    const double xPart = kx * dx * dx;
    if (xPart > kSkipExponent) continue;  // every sample of the column weighs too little
    const double yc = cy + S * dx;
    const double rowLo = std::floor(std::min(sag, 0.0) + yc - H / 2);
    const double rowHi = std::ceil(std::max(sag, 0.0) + yc + H / 2);
    const double bend = C * dx * dx;
    // Rows further from the centre line than reach weigh too little; a row
    // of margin on each side leaves the decision to the test below.
    const double reach = std::sqrt((kSkipExponent - xPart) / ky);
    const double centre = yc + bend;
    const double lo = std::max(rowLo, std::floor(centre - reach) - 1);
    const double hi = std::min(rowHi, std::ceil(centre + reach) + 1);
    const int j0 = static_cast<int>(std::clamp(lo, 0.0, static_cast<double>(level.rows)));
    const int j1 = static_cast<int>(std::clamp(hi, -1.0, static_cast<double>(level.rows - 1)));
    const std::uint8_t* column = level.ptr<std::uint8_t>(0) + i;
    for (int j = j0; j <= j1; ++j) {
      const double dy = j - yc - bend;
      const double exponent = ky * dy * dy + xPart;
      if (exponent > kSkipExponent) continue;
      const double w = std::exp(-exponent);
      if (w <= kMinWeight) continue;
      const double P = column[static_cast<std::size_t>(j) * stride];
      sumW2 += w * w;
      sumWP += w * P;
      sumP2 += P * P;
      ++n;
    }
  }
  if (n == 0 || sumP2 == 0) return 0;
  // Prefers contrast energy above 100, times the squared normalised
  // correlation between the band's weights and the map.
  const double energy = 1 / (1 + std::exp(-0.1 * (sumP2 / static_cast<double>(n) - 100)));
  return static_cast<float>(energy * (sumWP * sumWP) / (sumP2 * sumW2));
}

bool FeatureWindow::Contains(float x, float y) const {
  return x > cx - width / 2 && x < cx + width / 2 && y > cy - height / 2 && y < cy + height / 2;
}

FeatureQuad BuildFeatureQuad(const std::array<FeatureRecord, 5>& records, const FeatureWindow& window, bool mouth) {
  constexpr std::size_t kCount = 5;
  // Outlier rejection: keep the records within 1.2 spreads (at least 10
  // pixels) of the mean centre of the kept ones, until the set settles.
  std::array<bool, kCount> marked;
  marked.fill(true);
  // There are only 32 sets of marks; a set seen again would repeat forever.
  for (int round = 0; round < 32; ++round) {
    double mx = 0, my = 0, m2 = 0;
    int kept = 0;
    for (std::size_t k = 0; k < kCount; ++k)
      if (marked[k]) {
        const double x = records[k].X(), y = records[k].Y();
        mx += x;
        my += y;
        m2 += x * x + y * y;
        ++kept;
      }
    if (kept == 0) break;
    mx /= kept;
    my /= kept;
    m2 /= kept;
    const double spread = 1.2 * std::sqrt(std::max(m2 - mx * mx - my * my, 0.0));
    const double reach = std::max(spread, 10.0);
    std::array<bool, kCount> next;
    for (std::size_t k = 0; k < kCount; ++k)
      next[k] = std::hypot(records[k].X() - mx, records[k].Y() - my) <= reach;
    if (next == marked) break;
    marked = next;
  }

  float left = kFacePatchSize, right = 0;
  float leftTop = kFacePatchSize, leftBottom = 0, rightTop = kFacePatchSize, rightBottom = 0;
  for (std::size_t k = 0; k < kCount; ++k) {
    const FeatureRecord& r = records[k];
    const bool used = marked[k] || window.Contains(r.X(), r.Y()) || (mouth && (k == 0 || k == kCount - 1));
    if (!used) continue;
    left = std::min(left, r.X() - r.Width() / 4);
    right = std::max(right, r.X() + r.Width() / 4);
    // The slope lifts one end of the band and lowers the other.
    const float e = r.Width() * r.Slope() / 2;
    leftTop = std::min(leftTop, r.Y() - r.Height() / 2 - e);
    leftBottom = std::max(leftBottom, r.Y() + r.Height() / 2 - e);
    rightTop = std::min(rightTop, r.Y() - r.Height() / 2 + e);
    rightBottom = std::max(rightBottom, r.Y() + r.Height() / 2 + e);
  }
  if (right - left < 100) {
    const float grow = (100 - (right - left)) / 2;
    left -= grow;
    right += grow;
  }
  if (leftBottom - leftTop < 50) {
    const float grow = (50 - (leftBottom - leftTop)) / 2;
    leftTop -= grow;
    leftBottom += grow;
  }
  if (rightBottom - rightTop < 50) {
    const float grow = (50 - (rightBottom - rightTop)) / 2;
    rightTop -= grow;
    rightBottom += grow;
  }
  return {{left, leftTop, right, rightTop, right, rightBottom, left, leftBottom}};
}

namespace {

// How far to move two values so that their difference d ends within limit.
float SymmetryShift(float d, float limit) {
  if (d < -limit) return (-limit - d) / 2;
  if (d > limit) return (limit - d) / 2;
  return 0;
}

}  // namespace

void MakeFeatureQuadsSymmetric(std::array<FeatureQuad, 3>& quads) {
  FeatureQuad& le = quads[kLeftEye];
  FeatureQuad& re = quads[kRightEye];
  FeatureQuad& mouth = quads[kMouth];
  // y values of the corners: 1 top-left, 3 top-right, 5 bottom-right, 7 bottom-left.
  const auto align = [&](int a, int b) {
    const float d = (le.v[a] + le.v[b]) / 2 - (re.v[a] + re.v[b]) / 2;
    const float q = SymmetryShift(d, 5);
    le.v[a] += q;
    le.v[b] += q;
    re.v[a] -= q;
    re.v[b] -= q;
  };
  align(1, 3);  // tops
  align(5, 7);  // bottoms
  const float m = (mouth.v[7] - mouth.v[1]) - (mouth.v[5] - mouth.v[3]);
  const float q = SymmetryShift(m, 20);
  mouth.v[1] -= q;
  mouth.v[7] += q;
  mouth.v[3] += q;
  mouth.v[5] -= q;
}

FeatureFit::FeatureFit() {
  ResetRecords();
  TakeMouthRestShape();
}

FeatureFit::Records FeatureFit::DefaultLeftEye() {
  Records r;
  for (int k = 0; k < kHypotheses; ++k) r[static_cast<std::size_t>(k)] = FeatureRecord::Band(125, 113.0f + 20 * k, 100, 20);
  return r;
}

FeatureFit::Records FeatureFit::DefaultRightEye() {
  Records r;
  for (int k = 0; k < kHypotheses; ++k) r[static_cast<std::size_t>(k)] = FeatureRecord::Band(275, 113.0f + 20 * k, 100, 20);
  return r;
}

FeatureFit::Records FeatureFit::DefaultMouth() {
  // Left corner, upper lip, centre, lower lip, right corner.
  const float xs[kHypotheses] = {160, 200, 200, 200, 240};
  const float ys[kHypotheses] = {328, 303, 328, 353, 328};
  Records r;
  for (std::size_t k = 0; k < kHypotheses; ++k) {
    r[k] = FeatureRecord::Band(xs[k], ys[k], 122, 33);
    r[k][FeatureRecord::kWidthMax] = 140;
    r[k][FeatureRecord::kWidthMin] = 100;
    r[k][FeatureRecord::kHeightMax] = 38;
    r[k][FeatureRecord::kHeightMin] = 25;
    r[k][FeatureRecord::kSlopeMax] = 0.05f;
    r[k][FeatureRecord::kSlopeMin] = -0.05f;
  }
  return r;
}

void FeatureFit::ResetRecords() {
  leftEye_ = DefaultLeftEye();
  rightEye_ = DefaultRightEye();
  mouth_ = DefaultMouth();
}

bool FeatureFit::Step(FeatureRecord& record, const FeatureMaps& maps, int p) {
  return Step(record, maps, p, std::nullopt, nullptr);
}

bool FeatureFit::Step(FeatureRecord& record, const FeatureMaps& maps, int p, std::optional<float> known,
                      float* scoreAfter) {
  const cv::Mat& level = maps.Level(p);
  const float f = std::ldexp(1.0f, -p);
  // One level pixel for the position, then width, height, curvature, slope.
  const float steps[6] = {1 / f, 1 / f, 1, 1, 0.0002f, 0.01f};
  // The record's own score comes from the step that moved it here, when
  // that step was the last one and on this level.
  lastScore_ = known ? *known : ScoreFeature(record, level, p);

  std::array<FeatureRecord, 12> trials;
  std::array<float, 12> scores{};
  for (int k = 0; k < 12; ++k) {
    const int param = k / 2;
    FeatureRecord& trial = trials[static_cast<std::size_t>(k)];
    trial = record;
    trial[param] += (k % 2 == 0 ? -1 : 1) * steps[param];
    ClampToBounds(trial, param);
    trial[FeatureRecord::kCurvature] = ClampCurvature(trial.Curvature());
  }
  // Without position moves the x-minus and y-minus trials can neither win
  // nor enter the gradient: they are not scored.
  static constexpr int kAllTrials[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  static constexpr int kShapeAndGradientTrials[10] = {1, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  const int* scored = positionMovesAllowed_ ? kAllTrials : kShapeAndGradientTrials;
  const int scoredCount = positionMovesAllowed_ ? 12 : 10;
  // The trials are independent: on the fine levels, where a score reads
  // thousands of samples, they run in parallel with the same results.
  const auto score = [&](const cv::Range& range) {
    for (int n = range.start; n < range.end; ++n) {
      const auto k = static_cast<std::size_t>(scored[n]);
      scores[k] = ScoreFeature(trials[k], level, p);
    }
  };
  if (level.cols >= kParallelTrialsFrom)
    cv::parallel_for_(cv::Range(0, scoredCount), score);
  else
    score(cv::Range(0, scoredCount));
  gradient_ = {scores[1] - lastScore_, scores[3] - lastScore_};

  // Without position moves only the shape trials compete; the first of
  // equal scores wins.
  std::size_t best = positionMovesAllowed_ ? 0 : 4;
  for (std::size_t k = best + 1; k < 12; ++k)
    if (scores[k] > scores[best]) best = k;
  if (!(scores[best] > lastScore_)) return false;
  record = trials[best];
  if (scoreAfter) *scoreAfter = scores[best];
  return true;
}

bool FeatureFit::Run(const FeatureMaps& maps, const std::atomic<bool>* cancel) {
  ResetRecords();
  positionMovesAllowed_ = true;
  // The eyes: every hypothesis on its own, coarse levels first; the coarse
  // levels do most of the travel and the finest only polishes.
  for (int p = maps.LevelCount(); p >= 0; --p)
    for (int k = 0; k < kHypotheses; ++k)
      for (FeatureRecord* record : {&leftEye_[static_cast<std::size_t>(k)], &rightEye_[static_cast<std::size_t>(k)]}) {
        std::optional<float> known;
        for (int moves = 0; moves < kMaxMovesPerLevel; ++moves) {
          if (Stopped(cancel)) return false;
          float after = 0;
          if (!Step(*record, maps, p, known, &after)) break;
          known = after;
        }
      }
  positionMovesAllowed_ = false;
  const bool finished = FitMouth(maps, cancel);
  positionMovesAllowed_ = true;
  return finished;
}

bool FeatureFit::FitMouth(const FeatureMaps& maps, const std::atomic<bool>* cancel) {
  double bestEnergy = 0;
  int t = 0;
  int p = maps.LevelCount();
  std::array<cv::Point2d, kHypotheses> force;
  while (true) {
    double scoreSum = 0, penalty = 0;
    for (std::size_t j = 0; j < kHypotheses; ++j) {
      if (Stopped(cancel)) return false;
      // Position moves are off: the step only reshapes the node, but its
      // score gradient pulls the node below.
      Step(mouth_[j], maps, p);
      scoreSum += lastScore_;
      const cv::Point2d gradient(gradient_.x, gradient_.y);
      force[j] = {0, 0};
      for (std::size_t i = 0; i < kHypotheses; ++i) {
        if (i == j) continue;
        const cv::Point2d d(mouth_[j].X() - mouth_[i].X(), mouth_[j].Y() - mouth_[i].Y());
        const cv::Point2d rest(mouthRest_[j].X() - mouthRest_[i].X(), mouthRest_[j].Y() - mouthRest_[i].Y());
        const double length = std::hypot(d.x, d.y);
        const double delta = length - std::hypot(rest.x, rest.y);
        const double k = MouthSpring(static_cast<int>(j), static_cast<int>(i));
        // Two nodes on one spot pull in no direction.
        if (length > 0) force[j] += d * (-k * delta / length);
        penalty += -0.5 * k * delta * delta;
      }
      force[j] += 80.0 * gradient;
      // A node travels at most one level pixel's worth (2^p patch pixels) per iteration.
      const double cap = std::ldexp(1.0, p);
      const double length = std::hypot(force[j].x, force[j].y);
      if (length > cap) force[j] *= cap / length;
    }
    const double energy = 80 * scoreSum + 0.5 * penalty;
    if ((t > 0 && energy < bestEnergy) || t >= kMaxMovesPerLevel) {
      // The forces of a worse configuration are not applied.
      --p;
      t = 0;
      if (p < 0) break;
    } else {
      bestEnergy = energy;
      ++t;
      for (std::size_t j = 0; j < kHypotheses; ++j) {
        mouth_[j][FeatureRecord::kX] += static_cast<float>(force[j].x);
        mouth_[j][FeatureRecord::kY] += static_cast<float>(force[j].y);
      }
    }
    if (Stopped(cancel)) return false;
  }
  return true;
}

std::array<FeatureQuad, 3> FeatureFit::Quads() const {
  std::array<FeatureQuad, 3> quads = {BuildFeatureQuad(leftEye_, kLeftEyeWindow, false),
                                      BuildFeatureQuad(rightEye_, kRightEyeWindow, false),
                                      BuildFeatureQuad(mouth_, kMouthWindow, true)};
  MakeFeatureQuadsSymmetric(quads);
  return quads;
}

}  // namespace grinsnap
