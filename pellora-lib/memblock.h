#pragma once
// Page-backed memory blocks (read and write, never executable) and the share
// of free physical memory that the big buffers of the card game may take.
#include <cstdint>

namespace pellora {

// A fresh block of Size bytes, every byte the low byte of Fill when Fill > 0,
// else zero. Size <= 0 gives nullptr silently; a refusal by the system shows
// the system-error box and gives nullptr.
void* MemAlloc(int32_t fill, int64_t size);

// Bytes from P to the end of the block P lies in (whole pages); 0 for nullptr
// or a pointer that is not inside a block of MemAlloc.
int64_t MemSize(const void* p);

// Releases the block that starts at P; P is nullptr afterwards. A nullptr P
// gives true. A pointer that is not the start of a block of MemAlloc is not
// released and gives false.
bool MemFree(void*& p, int64_t size);

// Percent (0 counts as 10, above 100 as 100) of the available physical memory.
int64_t AvailMemPercent(uint8_t percent);
// The same share of a given number of available bytes.
int64_t AvailMemShare(uint64_t availableBytes, uint8_t percent);
// Available physical memory as the system reports it.
uint64_t AvailablePhysicalMemory();

}  // namespace pellora
