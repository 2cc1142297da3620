#include "templates/collage_template.h"

#include <algorithm>
#include <cstring>

#include <tinyxml2.h>

#include "core/xml_params.h"

namespace grinsnap {

CT_Collage::CT_Collage() { SetClassName(kClassName); }

void CT_Collage::LayGrid(const CollageLayout& layout, FrameBlock& block) {
  block.frameWidth = block.outputWidth = layout.naturalWidth;
  block.frameHeight = block.outputHeight = layout.naturalHeight;
  block.backgroundColor = static_cast<ColorRef>(layout.backgroundColor);
  block.stretch = layout.stretch;
  block.fillMode = layout.fillMode;
  block.extraQuads.clear();
  block.extraAspects.clear();
  block.extraMaskColors.clear();
  // A grid without cells still keeps its main window.
  const int rows = std::max(layout.rows, 1);
  const int cols = std::max(layout.cols, 1);
  const double cellW = static_cast<double>(layout.width) / cols;
  const double cellH = static_cast<double>(layout.height) / rows;
  block.cellSize = static_cast<std::int32_t>(std::max(cellW, cellH));
  block.hasAspect = true;
  const float aspect = cellH != 0 ? static_cast<float>(cellW / cellH) : 1.0f;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const int x0 = static_cast<int>(layout.left + c * cellW);
      const int y0 = static_cast<int>(layout.top + r * cellH);
      const int x1 = static_cast<int>(x0 + cellW + 1);
      const int y1 = static_cast<int>(y0 + cellH + 1);
      FrameQuad quad;
      quad.SetCorner(0, x0, y0);
      quad.SetCorner(1, x1, y0);
      quad.SetCorner(2, x0, y1);
      quad.SetCorner(3, x1, y1);
      if (r == 0 && c == 0) {
        block.mainQuad = quad;
        block.aspect = aspect;
      } else {
        block.extraQuads.push_back(quad);
        block.extraAspects.push_back(aspect);
        block.extraMaskColors.push_back(KeyColour{});
      }
    }
  }
  block.extraCount = rows * cols - 1;
}

int CT_Collage::Load() {
  const int loaded = CT_SimpleTempl::Load();
  const tinyxml2::XMLElement* param = FirstChild(element_, "param");
  block_ = FrameBlock{};
  layout_ = CollageLayout{};
  int right = 0, bottom = 0;
  ReadAttribute(param, "row", layout_.rows);
  ReadAttribute(param, "col", layout_.cols);
  ReadAttribute(param, "left", layout_.left);
  ReadAttribute(param, "right", right);
  ReadAttribute(param, "top", layout_.top);
  ReadAttribute(param, "bottom", bottom);
  ReadAttribute(param, "stretch", layout_.stretch);
  ReadAttribute(param, "fillmode", layout_.fillMode);
  layout_.width = right - layout_.left;
  layout_.height = bottom - layout_.top;
  int gray = 0;
  ReadAttribute(param, "gray", gray);
  ReadAttribute(param, "alpha", block_.alpha);
  if (block_.alpha == 0) block_.alpha = 1.0f;
  ReadAttribute(param, "edge", block_.edge);
  block_.gray = gray != 0;
  layout_.backgroundColor = static_cast<std::int32_t>(kCollageDefaultBackground);
  if (const tinyxml2::XMLElement* colour = FirstChild(param, "bkcolor")) {
    int r = 0, g = 0, b = 0;
    ReadAttribute(colour, "r", r);
    ReadAttribute(colour, "g", g);
    ReadAttribute(colour, "b", b);
    layout_.backgroundColor = static_cast<std::int32_t>(
        MakeColorRef(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255)));
  }
  block_.collageMode = true;
  const cv::Size natural = FrameSize();
  layout_.naturalWidth = natural.width;
  layout_.naturalHeight = natural.height;
  block_.stretch = layout_.stretch;
  block_.fillMode = layout_.fillMode;
  LayGrid(layout_, block_);
  block_.windowPhotos = &slots_;
  HandBlock();
  return loaded;
}

int CT_Collage::Command(int code, int reserved, int index, void* data) {
  if (code == kCmdGetCollageLayout) {
    if (data) std::memcpy(data, &layout_, sizeof layout_);
    return code;
  }
  if (code == kCmdSetCollageLayout) {
    if (data) {
      std::memcpy(&layout_, data, sizeof layout_);
      LayGrid(layout_, block_);
      HandBlock();
    }
    return block_.extraCount;
  }
  return CT_Frame::Command(code, reserved, index, data);
}

std::vector<COptionPanel*>* CT_Collage::CreateOptionPanes(int panel) {
  if (panel != kTemplateParamPanel) return nullptr;
  int noAdjust = 0;
  ReadAttribute(element_, "no_adjust", noAdjust);
  if (noAdjust != 0) return nullptr;
  return MakeOptionPane("OptionPane_Collage");
}

}  // namespace grinsnap
