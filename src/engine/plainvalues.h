// How the engine's own steps read a value element by element: in a plain layout, channels first
// or last, in fp32 or bf16, where it lies.
#pragma once

#include "networkplan.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace engine
{

// Where channel c of pixel p is in a plain layout: c * channelStride + p * pixelStride.
struct TPlainLayout {
    std::size_t channelStride = 0;
    std::size_t pixelStride = 0;
    bool half = false; // bf16, else fp32
};

std::optional<TPlainLayout> PlainLayoutOf(const memory::desc& desc);

// A value that a step reads element by element: the value itself where its layout is plain, or
// a plain copy of a blocked one.
struct TPlainInput {
    int value;
    TPlainLayout layout;
};
TPlainInput PlainInput(TNetworkPlan& plan, int value);

template <bool Half> float Element(const void* data, std::size_t offset)
{
    if constexpr (!Half) {
        return static_cast<const float*>(data)[offset];
    } else {
        // bf16 is the top half of an fp32.
        const std::uint32_t bits = std::uint32_t(static_cast<const std::uint16_t*>(data)[offset])
                                   << 16;
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
}

float ElementAt(const void* data, const TPlainLayout& layout, std::size_t offset);

} // namespace engine
