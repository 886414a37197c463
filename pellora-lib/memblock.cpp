#include "pellora-lib/memblock.h"

#include <sys/mman.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

#include "pellora-lib/sysmsg.h"

namespace pellora {
namespace {

// The system merges neighbouring anonymous mappings, so it cannot tell where
// one of our blocks ends; we remember each block's start and size ourselves.
std::mutex blocksMutex;
std::map<uintptr_t, uint64_t>& Blocks() {
  static std::map<uintptr_t, uint64_t> blocks;
  return blocks;
}

uint64_t PageSize() {
  static const uint64_t page = [] {
    const long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? static_cast<uint64_t>(p) : uint64_t{4096};
  }();
  return page;
}

}  // namespace

void* MemAlloc(int32_t fill, int64_t size) {
  if (size <= 0) return nullptr;
  const uint64_t page = PageSize();
  const uint64_t wanted = static_cast<uint64_t>(size);
  if (wanted > UINT64_MAX - page) {
    ShowSystemError(ENOMEM);
    return nullptr;
  }
  const uint64_t rounded = (wanted + page - 1) / page * page;
  void* p = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    ShowSystemError(-1);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(blocksMutex);
    Blocks()[reinterpret_cast<uintptr_t>(p)] = rounded;
  }
  if (fill > 0) std::memset(p, fill & 0xFF, static_cast<size_t>(wanted));
  return p;
}

int64_t MemSize(const void* p) {
  if (!p) return 0;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  std::lock_guard<std::mutex> lock(blocksMutex);
  auto& blocks = Blocks();
  auto it = blocks.upper_bound(at);
  if (it == blocks.begin()) return 0;
  --it;
  if (at >= it->first + it->second) return 0;
  const uint64_t pageStart = at / PageSize() * PageSize();
  return static_cast<int64_t>(it->first + it->second - pageStart);
}

bool MemFree(void*& p, int64_t size) {
  if (!p) return true;
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  p = nullptr;
  uint64_t length = 0;
  {
    std::lock_guard<std::mutex> lock(blocksMutex);
    auto& blocks = Blocks();
    auto it = blocks.find(at);
    if (it == blocks.end()) return false;
    length = it->second;
    blocks.erase(it);
  }
  (void)size;  // the whole block is always released, as the system would
  return munmap(reinterpret_cast<void*>(at), length) == 0;
}

int64_t AvailMemShare(uint64_t availableBytes, uint8_t percent) {
  if (percent == 0) percent = 10;
  if (percent > 100) percent = 100;
  const double share = static_cast<double>(percent) / 100.0;
  // Nearest integer with halves to even (the default rounding mode).
  return static_cast<int64_t>(std::nearbyint(share * static_cast<double>(availableBytes)));
}

uint64_t AvailablePhysicalMemory() {
  // MemAvailable counts the reclaimable cache too, like the available figure
  // earlier versions read; older kernels lack it and give the free pages.
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (meminfo >> key >> value) {
    std::getline(meminfo, unit);
    if (key == "MemAvailable:") return value * 1024;
  }
  struct sysinfo info {};
  if (sysinfo(&info) == 0) return static_cast<uint64_t>(info.freeram) * info.mem_unit;
  return 0;
}

int64_t AvailMemPercent(uint8_t percent) {
  return AvailMemShare(AvailablePhysicalMemory(), percent);
}

}  // namespace pellora
