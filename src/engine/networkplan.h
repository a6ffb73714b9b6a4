// The inside of a network: the state kept from load to load of a tile size, the plan of
// primitives for one tile size, and what the builder of each layer kind is handed. Only the
// engine's own files include it.
#pragma once

#include "concatplacement.h"
#include "network.h"

#include <dnnl.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>

namespace engine
{

using dnnl::memory;
using Tag = memory::format_tag;
using Type = memory::data_type;

[[noreturn]] void Refuse(const TModelLayer& layer, const std::string& what);
// Refuses a layer without `count` input blobs and one output.
void NeedInputs(const TModelLayer& layer, const std::vector<int>& in, std::size_t count);

struct TBlobShape {
    int channels, height, width;
};
TBlobShape ShapeOf(const memory::desc& desc);
memory::desc PlainDesc(int channels, int height, int width);

struct TAlignedFree {
    void operator()(void* pointer) const;
};
using TBuffer = std::unique_ptr<void, TAlignedFree>;

// A convolution's weights after the one reorder into the layout oneDNN's kernel wants.
struct TConvolutionWeights {
    memory weights;
    memory bias;
};

// A blob's value in a plan: its layout and where it lives (slot -1: the caller's input or
// output).
struct TValue {
    memory::desc desc;
    int slot = -1;
    std::size_t offset = 0; // bytes into the slot's buffer
    int readers = 0;
    memory object;
    bool placed = false; // inside a Concat's buffer
};

struct TStep {
    std::optional<dnnl::primitive> primitive;
    std::vector<std::pair<int, int>> args; // oneDNN argument -> value index
    std::vector<std::pair<int, memory>> fixedArgs;
    std::function<void()> custom;
    std::unordered_map<int, memory> bound;
};

struct TNetworkPlan {
    dnnl::engine cpu;
    int height = 0;
    int width = 0;
    std::vector<TValue> values;
    std::vector<TStep> steps;
    std::vector<std::size_t> slotBytes;
    std::vector<int> slotUsers; // live values in each slot
    std::vector<int> freeSlots;
    std::vector<int> regionSlots; // by Concat region, -1 until its first blob is computed
    std::vector<TBuffer> buffers;
    std::vector<TNetwork::TConvolutionShape> convolutions;
    int input = -1;
    int output = -1;
    int outputChannels = 0;
    int outputHeight = 0;
    int outputWidth = 0;

    std::size_t Bytes() const;
    // A value in a buffer of its own.
    int NewValue(const memory::desc& desc);
    // A value `channel` channels into a Concat region of `regionChannels` channels, in the
    // blocked layout `desc` has.
    int PlacedValue(const memory::desc& desc, int region, int regionChannels, int channel);
    // A value that only the next step reads.
    int Temporary(const memory::desc& desc);
    // One reader of the value is done; its buffer is free once no live value uses it.
    void Read(int value);
    // The value in the layout `desc`, reordered into a temporary when it is in another.
    int InLayout(int value, const memory::desc& desc);
    // Allocates the buffers and binds every step's arguments to them, unless they are.
    void Bind();
    // Frees the buffers while the plan waits for its size to come again.
    void Release();

private:
    bool bound = false;
    int takeSlot(std::size_t bytes);
};

struct TNetworkState {
    TNcnnModel model;
    TPrecision precision = TPrecision::Float32;
    TConcatPlacement placement;
    dnnl::engine cpu{dnnl::engine::kind::cpu, 0};
    dnnl::stream stream{cpu};
    std::map<std::size_t, TConvolutionWeights> weights; // by layer index
    std::map<std::size_t, memory> slopes;               // PReLU slopes, plain
    std::vector<std::unique_ptr<TNetworkPlan>> plans;   // the one in use first
};

// What building one tile size's plan keeps across layers.
struct TPlanBuilder {
    TNetworkState& state;
    TNetworkPlan& plan;
    std::vector<int> valueOf;    // by blob
    std::vector<int> readerOf;   // by blob: the one layer that reads it, -1 for none
    std::vector<bool> computed;  // by layer: done by another layer's step (a fused sum)
    std::vector<bool> prescaled; // by blob: a sum's weight already inside its convolution

    TPlanBuilder(TNetworkState& networkState, TNetworkPlan& networkPlan);

    const TNcnnModel& Model() const { return state.model; }
    Type ConvolutionType() const
    {
        return state.precision == TPrecision::Bfloat16 ? Type::bf16 : Type::f32;
    }
    const memory::desc& DescOf(int value) const { return plan.values[std::size_t(value)].desc; }
    // The blob's value from now on; it counts one reader when some layer reads the blob.
    void Give(int blob, int value);
    // Whether the blob lives inside a Concat's buffer, where it must take the blocked layout.
    bool Placed(int blob) const;
    memory::desc BlockedDesc(int channels, int height, int width) const;
    // Whether the value lives inside a Concat's buffer.
    bool InRegion(int value) const;
    // A new value for the blob: at its place in its Concat's buffer, or `desc` in its own.
    int ValueFor(int blob, const memory::desc& desc);
};

// The builders of each layer kind: each adds the steps that compute the layer, gives its output
// blobs their values and reads its inputs. `in` are the values of the layer's input blobs.
void BuildConvolution(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
void BuildConcat(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
// Eltwise and BinaryOp.
void BuildElementwise(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
void BuildPrelu(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
void BuildInterp(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
void BuildPixelShuffle(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);

// PReLU over channels-last values, in place, a slope per channel.
void PreluInPlace(float* data, std::size_t pixels, const std::vector<float>& slopes);
void PreluInPlace(std::uint16_t* data, std::size_t pixels, const std::vector<float>& slopes);

} // namespace engine
