// grinsnap-cli faces: the faces of a photo with their eyes and mouth, as the
// face templates find them.
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "cli/arguments.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "core/photo_item.h"
#include "face/face_detector.h"
#include "face/face_engine.h"
#include "face/feature_ellipse.h"

namespace grinsnap::cli {

namespace fs = std::filesystem;

namespace {

// One face as the face filter would settle it, in photo pixels.
struct FoundFace {
  FaceBox workingBox;  // zero for the default box
  FeatureQuad face;
  std::array<FeatureQuad, 3> features;  // left eye, right eye, mouth
  bool featuresLocated = false;
  double locateMs = 0;
};

const char* const kFeatureNames[3] = {"left eye", "right eye", "mouth"};
const char* const kFeatureKeys[3] = {"leftEye", "rightEye", "mouth"};

std::string QuadText(const FeatureQuad& q) {
  char text[160];
  std::snprintf(text, sizeof text, "(%.1f, %.1f) (%.1f, %.1f) (%.1f, %.1f) (%.1f, %.1f)", q.v[0], q.v[1], q.v[2], q.v[3],
                q.v[4], q.v[5], q.v[6], q.v[7]);
  return text;
}

std::string QuadJson(const FeatureQuad& q) {
  char text[200];
  std::snprintf(text, sizeof text, "[[%.2f, %.2f], [%.2f, %.2f], [%.2f, %.2f], [%.2f, %.2f]]", q.v[0], q.v[1], q.v[2],
                q.v[3], q.v[4], q.v[5], q.v[6], q.v[7]);
  return text;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

void PrintText(const fs::path& photo, const cv::Mat& picture, const cv::Size working, const std::vector<FoundFace>& faces) {
  std::printf("%s: %dx%d, working image %dx%d\n", photo.string().c_str(), picture.cols, picture.rows, working.width,
              working.height);
  if (faces.size() == 1 && faces[0].workingBox.IsZero())
    std::printf("no face found; the face templates use the default box and features\n");
  for (std::size_t n = 0; n < faces.size(); ++n) {
    const FoundFace& f = faces[n];
    if (f.workingBox.IsZero()) {
      std::printf("default face: %s\n", QuadText(f.face).c_str());
    } else {
      std::printf("face %zu of %zu: %s (working box %d,%d %dx%d)\n", n + 1, faces.size(), QuadText(f.face).c_str(),
                  f.workingBox.x, f.workingBox.y, f.workingBox.width, f.workingBox.height);
    }
    for (int k = 0; k < 3; ++k)
      std::printf("  %-10s %s\n", (std::string(kFeatureNames[k]) + ":").c_str(), QuadText(f.features[static_cast<std::size_t>(k)]).c_str());
    if (f.featuresLocated) std::printf("  features located in %.1f ms\n", f.locateMs);
  }
}

void PrintJson(const fs::path& photo, const cv::Mat& picture, const cv::Size working, const std::vector<FoundFace>& faces) {
  const bool none = faces.size() == 1 && faces[0].workingBox.IsZero();
  std::printf("{\n  \"photo\": %s,\n  \"width\": %d,\n  \"height\": %d,\n  \"working\": [%d, %d],\n",
              JsonString(photo.string()).c_str(), picture.cols, picture.rows, working.width, working.height);
  std::printf("  \"found\": %s,\n  \"faces\": [", none ? "false" : "true");
  for (std::size_t n = 0; n < faces.size(); ++n) {
    const FoundFace& f = faces[n];
    std::printf("%s\n    {\n", n ? "," : "");
    std::printf("      \"workingBox\": [%d, %d, %d, %d],\n", f.workingBox.x, f.workingBox.y, f.workingBox.width,
                f.workingBox.height);
    std::printf("      \"face\": %s,\n", QuadJson(f.face).c_str());
    for (int k = 0; k < 3; ++k)
      std::printf("      \"%s\": %s,\n", kFeatureKeys[k], QuadJson(f.features[static_cast<std::size_t>(k)]).c_str());
    std::printf("      \"featuresLocated\": %s,\n      \"locateMs\": %.2f\n    }", f.featuresLocated ? "true" : "false",
                f.locateMs);
  }
  std::printf("\n  ]\n}\n");
}

void DrawQuad(cv::Mat& picture, const FeatureQuad& q, const cv::Scalar& colour, int thickness) {
  std::vector<cv::Point> corners;
  for (int c = 0; c < 4; ++c) corners.push_back(q.At(c));
  cv::polylines(picture, corners, true, colour, thickness, cv::LINE_AA);
}

cv::Mat MarkFaces(const cv::Mat& photo, const std::vector<FoundFace>& faces) {
  cv::Mat marked = photo.clone();
  const int thick = std::max(1, std::min(photo.cols, photo.rows) / 300);
  const cv::Scalar faceColour(60, 220, 60), defaultColour(40, 40, 230);
  const cv::Scalar featureColours[3] = {{240, 200, 0}, {240, 200, 0}, {200, 60, 230}};
  for (std::size_t n = 0; n < faces.size(); ++n) {
    const FoundFace& f = faces[n];
    const bool fallback = f.workingBox.IsZero();
    DrawQuad(marked, f.face, fallback ? defaultColour : faceColour, 2 * thick);
    for (std::size_t k = 0; k < 3; ++k) {
      DrawQuad(marked, f.features[k], featureColours[k], thick);
      // The ellipse the face template lets the user drag.
      std::vector<cv::Point> outline;
      for (const cv::Point2f& p : EllipsePolygon(QuadToEllipse(f.features[k]))) outline.push_back(p);
      cv::polylines(marked, outline, true, featureColours[k], thick, cv::LINE_AA);
    }
    const std::string label = fallback ? "default" : std::to_string(n + 1);
    const cv::Point2f at = f.face.At(FeatureQuad::kTopLeft);
    // Above the box, or inside it when the box touches the top of the photo.
    const int above = static_cast<int>(at.y) - 3 * thick;
    const int baseline = above >= 14 * thick ? above : static_cast<int>(at.y) + 16 * thick;
    cv::putText(marked, label, cv::Point(static_cast<int>(at.x) + 2 * thick, baseline),
                cv::FONT_HERSHEY_SIMPLEX, 0.5 * thick, fallback ? defaultColour : faceColour, thick, cv::LINE_AA);
  }
  return marked;
}

}  // namespace

int RunFaces(const std::vector<std::string>& words) {
  const Arguments args(words, {"--mark"}, {"--json", "--force"}, {{"-f", "--force"}, {"-h", "--help"}});
  if (args.Positional().size() != 1)
    throw CliError(kExitUsage, "faces needs exactly one photo", "see 'grinsnap-cli faces --help'");
  const auto mark = args.Value("--mark");
  if (mark && !IsWritableImageExtension(*mark))
    throw CliError(kExitUsage, "cannot tell the picture format of '" + *mark + "'",
                   std::string("end the --mark file with one of ") + kWritableExtensions);

  const fs::path photoPath(args.Positional()[0]);
  PhotoItem item(photoPath);
  const cv::Mat& photo = item.WorkingImage();
  if (photo.empty()) {
    std::error_code ignored;
    throw CliError(kExitPhoto,
                   "cannot read photo '" + photoPath.string() + "'" + (fs::exists(photoPath, ignored) ? "" : ": no such file"),
                   "loader: " + item.LoadFailure().value_or("unknown error"));
  }

  // Our own message names the file; the detector's timing lines go to
  // standard error so that standard output stays the report (or the JSON).
  FaceDetector& detector = SharedFaceDetector();
  detector.SetLog({stderr, nullptr});
  if (detector.LoadCascade() != 0)
    throw CliError(kExitFaceCascade, "cannot load the face cascade '" + detector.CascadePath().string() + "'",
                   "install the opencv-data package and rebuild, or set GRINSNAP_DATA_DIR to the program's data folder");

  CFaceEngine engine;
  engine.SetSourceImage(photo);
  std::vector<FoundFace> faces;
  int count = 0;
  FaceBox box = detector.DetectNext(engine.WorkingImage(), &count);
  for (int n = 0; n < count; ++n) {
    if (n > 0) box = detector.DetectNext(engine.WorkingImage());
    FoundFace found;
    found.workingBox = box;
    engine.SetBox(box);
    engine.BuildFacePatch();
    const auto start = std::chrono::steady_clock::now();
    engine.LocateFeatures();
    found.locateMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    found.face = engine.GetQuad(kFaceQuad);
    found.featuresLocated = engine.FeaturesLocated();
    for (int k = 0; k < 3; ++k) found.features[static_cast<std::size_t>(k)] = engine.GetQuad(k);
    faces.push_back(found);
  }
  if (faces.empty()) {
    FoundFace fallback;
    fallback.face = DefaultFaceBox(photo.cols, photo.rows);
    fallback.features = CFaceEngine::DefaultFeatureQuads(fallback.face);
    faces.push_back(fallback);
  }

  if (mark) {
    PictureWriteOptions options;
    options.quality = 95;
    WriteImage(*mark, MarkFaces(photo, faces), options, args.Has("--force"));
  }
  if (args.Has("--json"))
    PrintJson(photoPath, photo, engine.WorkingImage().size(), faces);
  else
    PrintText(photoPath, photo, engine.WorkingImage().size(), faces);
  if (mark && !args.Has("--json")) std::printf("marked %s\n", mark->c_str());
  return kExitOk;
}

std::string FacesHelp() {
  return "Usage: grinsnap-cli faces PHOTO [--json] [--mark OUT] [--force]\n\n"
         "Finds the faces in PHOTO as the face templates do, one after another in the\n"
         "order the detector reports them, and locates the eyes and the mouth of each.\n"
         "Prints every face box and the left-eye, right-eye and mouth quadrilaterals as\n"
         "four corners (top-left, top-right, bottom-right, bottom-left) in photo pixels.\n"
         "Without a face it prints the default box and features the templates then use.\n"
         "The detection time of each call goes to standard error.\n\n"
         "  --json          print the result as JSON\n"
         "  --mark OUT      draw the boxes, quadrilaterals and the editor's ellipses on\n"
         "                  the photo and write OUT (.jpg, .jpeg, .png, .bmp)\n"
         "  --force         replace an existing OUT\n";
}

}  // namespace grinsnap::cli
