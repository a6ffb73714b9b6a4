// A model turned into oneDNN primitives that enlarge one tile: the weights are reordered once for
// the convolution kernels oneDNN picks, and each tile size gets a plan of primitives whose
// intermediate blobs share buffers as soon as their last reader has run.
#pragma once

#include "ncnnmodel.h"

#include <memory>

namespace engine
{

class TNetwork
{
public:
    explicit TNetwork(TNcnnModel model);
    ~TNetwork();
    TNetwork(const TNetwork&) = delete;
    TNetwork& operator=(const TNetwork&) = delete;

    // How many times larger the output is in each direction; throws EModelError when the model
    // does not enlarge by one whole factor or cannot be built.
    int Scale() const { return scale_; }

    // Enlarges one tile: `input` holds 3 planes of height x width values in 0..1 (red, green,
    // blue), `output` receives 3 planes of (height * Scale()) x (width * Scale()).
    void Run(int height, int width, const float* input, float* output);

    // The bytes of intermediate buffers a tile of this size needs.
    std::size_t WorkspaceBytes(int height, int width);

    // The convolution shapes of a tile of this size, for measuring what oneDNN achieves on them.
    struct TConvolutionShape {
        int inputs, outputs, kernel, height, width;
    };
    std::vector<TConvolutionShape> ConvolutionShapes(int height, int width);

private:
    struct TPlan;
    TPlan& planFor(int height, int width);

    struct TState;
    std::unique_ptr<TState> state_;
    int scale_ = 0;
};

} // namespace engine
