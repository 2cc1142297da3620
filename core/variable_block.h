#pragma once

#include <array>
#include <cstddef>

namespace grinsnap {

// The variable block a template hands its filter: the three template
// variables, a region of interest and a point as fractions of the image.
// The frame, collage and 3D templates hand longer blocks that begin with
// these nine entries.
inline constexpr int kVariableBlockSize = 9;
inline constexpr int kBlockRoiX = 3;
inline constexpr int kBlockRoiY = 4;
inline constexpr int kBlockRoiWidth = 5;
inline constexpr int kBlockRoiHeight = 6;
inline constexpr int kBlockPointX = 7;
inline constexpr int kBlockPointY = 8;

// What a template sets before its document says otherwise: no variable
// values, the centred half-size region and the centre point.
inline constexpr std::array<float, kVariableBlockSize> kDefaultVariableBlock = {0,     0,     0,    0.25f, 0.25f,
                                                                                0.5f,  0.5f,  0.5f, 0.5f};

// A read-only view of a variable block owned by a template. Reads are
// bounds-checked: an entry the block does not have, or any entry of a
// missing block, reads as the caller's fallback, so a filter never reads
// past a shorter block than it expects.
class VariableBlock {
public:
  VariableBlock() = default;
  VariableBlock(std::nullptr_t) {}
  VariableBlock(const float* data, std::size_t size) : data_(size ? data : nullptr), size_(data ? size : 0) {}
  template <std::size_t N>
  VariableBlock(const std::array<float, N>& block) : VariableBlock(block.data(), N) {}
  template <std::size_t N>
  VariableBlock(const float (&block)[N]) : VariableBlock(block, N) {}

  bool Empty() const { return size_ == 0; }
  std::size_t Size() const { return size_; }
  const float* Data() const { return data_; }
  float Get(int index, float fallback) const {
    return index >= 0 && static_cast<std::size_t>(index) < size_ ? data_[index] : fallback;
  }

private:
  const float* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace grinsnap
