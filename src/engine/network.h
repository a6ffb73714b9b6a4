// A model turned into oneDNN primitives that enlarge one tile: the weights are reordered once for
// the convolution kernels oneDNN picks, and each tile size gets a plan of primitives whose
// intermediate blobs share buffers as soon as their last reader has run (networkplan.h; one
// file per layer kind builds its steps).
#pragma once

#include "ncnnmodel.h"

#include <memory>

namespace engine
{

struct TNetworkState;
struct TNetworkPlan;

// The number type of the convolutions. bf16 halves the memory traffic and doubles the arithmetic
// rate on processors that compute it natively; on the provisioned models its output agrees with
// fp32's far above the 40 dB that counts as the same picture (the tests measure it).
enum class TPrecision { Float32, Bfloat16 };

// Bfloat16 where the processor computes it natively, else Float32.
TPrecision NativePrecision();

class TNetwork
{
public:
    explicit TNetwork(TNcnnModel model, TPrecision precision = NativePrecision());
    ~TNetwork();
    TNetwork(const TNetwork&) = delete;
    TNetwork& operator=(const TNetwork&) = delete;

    // How many times larger the output is in each direction; throws EModelError when the model
    // does not enlarge by one whole factor or cannot be built.
    int Scale() const { return scale_; }
    TPrecision Precision() const { return precision_; }

    // Enlarges one tile: `input` holds 3 planes of height x width values in 0..1 (red, green,
    // blue), whose outer `border` pixels on every side only give the rest its surroundings.
    // Returns 3 planes of ((height - 2 border) * Scale()) x ((width - 2 border) * Scale()):
    // the rest, enlarged. They stay valid until the next call. Layers compute only as much of
    // the border as the part kept still depends on.
    const float* Run(int height, int width, int border, const float* input);

    // The bytes of intermediate buffers a tile of this size needs, border and all.
    std::size_t WorkspaceBytes(int height, int width);

    // The convolutions a tile of this size computes, for measuring what oneDNN achieves on
    // them: each turns `inputs` channels into `outputs` channels of height x width.
    struct TConvolutionShape {
        int inputs, outputs, kernel, height, width;
    };
    std::vector<TConvolutionShape> ConvolutionShapes(int height, int width, int border = 0);

private:
    TNetworkPlan& planFor(int height, int width, int border);
    std::unique_ptr<TNetworkPlan> buildPlan(int height, int width, int border);
    // Lays the plan's buffers out in the arena, which it first sizes to fit.
    void bind(TNetworkPlan& plan);

    std::unique_ptr<TNetworkState> state_;
    int scale_ = 0;
    TPrecision precision_;
};

} // namespace engine
