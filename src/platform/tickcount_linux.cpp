#include "tickcount.h"

#include <chrono>
#include <limits>

namespace platform
{

std::uint32_t GetTickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::int32_t MulDiv(std::int32_t number, std::int32_t numerator, std::int32_t denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    std::int64_t half = denominator / 2;
    if (half < 0)
        half = -half;
    const bool negative = (product < 0) != (denominator < 0);
    const std::int64_t absProduct = product < 0 ? -product : product;
    const std::int64_t absDenominator =
        denominator < 0 ? -static_cast<std::int64_t>(denominator) : denominator;
    std::int64_t result = (absProduct + half) / absDenominator;
    if (negative)
        result = -result;
    if (result > std::numeric_limits<std::int32_t>::max() ||
        result < std::numeric_limits<std::int32_t>::min())
        return -1;
    return static_cast<std::int32_t>(result);
}

} // namespace platform
