#pragma once

#include <array>
#include <cstdint>

#include "templates/frame_template.h"

namespace grinsnap {

// Command codes of the collage template and its option pane.
inline constexpr int kCmdGetCollageLayout = 970;  // copy the layout record into data
inline constexpr int kCmdSetCollageLayout = 971;  // replace the layout record from data, lay the grid again

// The grid of a collage as the option pane edits it: eleven int32 in this
// order, exchanged as one 44-byte record.
struct CollageLayout {
  std::int32_t naturalWidth = 0, naturalHeight = 0;  // the filter's natural size
  std::int32_t rows = 0, cols = 0;
  std::int32_t left = 0, top = 0;       // grid origin in picture pixels
  std::int32_t width = 0, height = 0;   // grid extent in pixels
  std::int32_t stretch = 0;
  std::int32_t fillMode = 0;
  std::int32_t backgroundColor = 0x808080;  // 0x00BBGGRR
};
static_assert(sizeof(CollageLayout) == 44);

inline constexpr ColorRef kCollageDefaultBackground = 0x808080;

// The grid collage ("CollageTemplate"): rows x columns windows laid out in
// a rectangle of the collage picture, one photo each, drawn by the frame
// filter. The option pane edits the grid through the layout record.
class CT_Collage : public CT_Frame {
public:
  static constexpr const char* kClassName = "CollageTemplate";

  CT_Collage();

  int Load() override;
  int Command(int code, int reserved, int index, void* data) override;
  bool RunsInBackground() override { return true; }
  std::vector<COptionPanel*>* CreateOptionPanes(int panel) override;
  int GetHintStringId() override { return 193; }

  const CollageLayout& Layout() const { return layout_; }
  // Lays the grid of a layout record into a frame block.
  static void LayGrid(const CollageLayout& layout, FrameBlock& block);

private:
  CollageLayout layout_;
};

}  // namespace grinsnap
