// libFuzzer entry point: see fuzz_targets.h.
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return grinsnap::fuzz::PhotoFile(data, size);
}
