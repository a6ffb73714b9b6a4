#include "plainvalues.h"

namespace engine
{

std::optional<TPlainLayout> PlainLayoutOf(const memory::desc& desc)
{
    const TBlobShape shape = ShapeOf(desc);
    const std::size_t pixels = std::size_t(shape.height) * std::size_t(shape.width);
    for (const Type type : {Type::f32, Type::bf16}) {
        const bool half = type == Type::bf16;
        if (desc == memory::desc({1, shape.channels, shape.height, shape.width}, type, Tag::nchw))
            return TPlainLayout{pixels, 1, half};
        if (desc == memory::desc({1, shape.channels, shape.height, shape.width}, type, Tag::nhwc))
            return TPlainLayout{1, std::size_t(shape.channels), half};
    }
    return std::nullopt;
}

TPlainInput PlainInput(TNetworkPlan& plan, int value)
{
    if (const std::optional<TPlainLayout> layout =
            PlainLayoutOf(plan.values[std::size_t(value)].desc))
        return {value, *layout};
    const TBlobShape shape = ShapeOf(plan.values[std::size_t(value)].desc);
    const int plain = plan.InLayout(value, PlainDesc(shape.channels, shape.height, shape.width));
    return {plain, *PlainLayoutOf(plan.values[std::size_t(plain)].desc)};
}

float ElementAt(const void* data, const TPlainLayout& layout, std::size_t offset)
{
    return layout.half ? Element<true>(data, offset) : Element<false>(data, offset);
}

} // namespace engine
