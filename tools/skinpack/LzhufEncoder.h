#pragma once
// LZHUF encoder for building skin containers: greedy longest-match LZSS over the
// same 4 KiB ring (initially spaces) that the decoder keeps, literals and lengths
// coded with the shared adaptive tree, positions with the fixed code.
#include <cstdint>
#include <span>
#include <vector>

namespace skinpack {

// Compresses `data` into a bare LZHUF bit stream (no size prefix), padded with zero
// bits to a whole byte. Never fails.
std::vector<uint8_t> LzhufEncode(std::span<const uint8_t> data);

}  // namespace skinpack
