#pragma once

#include <cstdint>

namespace grinsnap {

// The classic 15-bit C-runtime generator. Effects that are described in terms
// of rand() and 32767 use it so that a seed always gives the same picture.
// Every filter owns one, seeded at the start of its Process; nothing shares a
// process-wide generator, so a preview and a gallery thumbnail rendered on two
// threads never disturb each other's sequence.
class CrtRandom {
public:
  static constexpr int kMax = 32767;

  explicit CrtRandom(std::uint32_t seed = 1) : state_(seed) {}

  void Seed(std::uint32_t seed) { state_ = seed; }

  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

  // Advances the generator by n draws in O(log n), so that rows of a seeded
  // kernel can run in parallel and still see the draws a sequential run would.
  void Discard(std::uint64_t n) {
    std::uint32_t mul = 1, add = 0;              // accumulated step: s -> mul * s + add
    std::uint32_t stepMul = 214013u, stepAdd = 2531011u;
    while (n) {
      if (n & 1u) {
        mul = mul * stepMul;
        add = add * stepMul + stepAdd;
      }
      stepAdd = stepAdd * stepMul + stepAdd;
      stepMul = stepMul * stepMul;
      n >>= 1;
    }
    state_ = state_ * mul + add;
  }

  std::uint32_t State() const { return state_; }

  // rand() / 32767 as a float in [0, 1].
  float NextUnit() { return static_cast<float>(Next()) / static_cast<float>(kMax); }

private:
  std::uint32_t state_;
};

}  // namespace grinsnap
