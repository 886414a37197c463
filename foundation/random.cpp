#include "foundation/random.h"

#include <atomic>

namespace foundation {
namespace {
std::atomic<uint32_t> gSeed{0};
}

uint32_t RandSeed() { return gSeed.load(std::memory_order_relaxed); }

void SetRandSeed(uint32_t seed) { gSeed.store(seed, std::memory_order_relaxed); }

int32_t Random(int32_t n) {
  const uint32_t next = RandSeed() * 134775813u + 1u;
  SetRandSeed(next);
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(next) * static_cast<uint32_t>(n)) >> 32);
}

}  // namespace foundation
