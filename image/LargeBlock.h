// Room for a large image or file in a byte vector, given in as few page
// faults as the system allows: on Linux the block is marked for huge pages
// before any byte of it is touched, which turns thousands of faults for a
// 16 MiB image into a handful. Elsewhere only the room is reserved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reserves `count` bytes in the empty `bytes` (throws bad_alloc as reserve does).
void ReserveLarge(std::vector<uint8_t>& bytes, size_t count);
