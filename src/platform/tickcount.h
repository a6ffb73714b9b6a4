// Millisecond tick count and rounding multiply-divide, as the rest of the program expects them.
#pragma once

#include <cstdint>

namespace platform
{

// Milliseconds of a steady clock, wrapping at 2^32 like the original tick counter.
std::uint32_t GetTickCount();

// number * numerator / denominator in 64 bits, rounded half away from zero; -1 when denominator
// is 0 or the result does not fit in 32 bits.
std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator);

} // namespace platform
