// Writes the texture pictures the templates name: papers, pen and brush
// strokes, brush stamps and woods for the drawing and painting templates
// (filters/drawing/textures.h), particles and window decorations for the
// weather and texture templates (filters/weather/weather_textures.h), all
// made procedurally, nothing drawn by hand or downloaded. Run by scripts/make-textures.sh; the pictures it writes are
// committed with the templates.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "filters/drawing/textures.h"
#include "filters/weather/weather_textures.h"

int main(int argc, char** argv) {
  using namespace grinsnap;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const struct {
    const char* name;
    cv::Mat picture;
  } textures[] = {
      {"paper_cold_press.png", MakePaperTexture(PaperKind::kColdPress)},
      {"paper_sketchbook.png", MakePaperTexture(PaperKind::kSketchbook)},
      {"stroke_pen.png", MakeStrokeTexture(StrokeKind::kPen)},
      {"stroke_dry_brush.png", MakeStrokeTexture(StrokeKind::kDryBrush)},
      {"brush_bristle.png", MakeBrushTexture(BrushKind::kBristle)},
      {"brush_round.png", MakeBrushTexture(BrushKind::kRound)},
      {"wood_light.png", MakeWoodTexture(WoodKind::kLight)},
      {"wood_dark.png", MakeWoodTexture(WoodKind::kDark)},
      {"particle_heart.png", MakeParticleTexture(ParticleKind::kHeart)},
      {"particle_bubble.png", MakeParticleTexture(ParticleKind::kBubble)},
      {"particle_petal.png", MakeParticleTexture(ParticleKind::kPetal)},
      {"particle_bokeh.png", MakeParticleTexture(ParticleKind::kBokeh)},
      {"particle_sparkle.png", MakeParticleTexture(ParticleKind::kSparkle)},
      {"decoration_frost.png", MakeDecoration(DecorationKind::kFrost)},
      {"decoration_window.png", MakeDecoration(DecorationKind::kWindowFrame)},
  };
  // Compression level 9 and no timestamps: the same build writes the same bytes.
  const std::vector<int> options = {cv::IMWRITE_PNG_COMPRESSION, 9};
  for (const auto& t : textures) {
    const std::filesystem::path path = folder / t.name;
    if (!cv::imwrite(path.string(), t.picture, options)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s %dx%d\n", path.c_str(), t.picture.cols, t.picture.rows);
  }
  return 0;
}
