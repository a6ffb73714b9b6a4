// The inside of a network: the state kept from load to load of a tile size, the plan of
// primitives for one tile size, and what the builder of each layer kind is handed. Only the
// engine's own files include it.
#pragma once

#include "concatplacement.h"
#include "network.h"

#include <dnnl.hpp>

#include <cstdint>
#include <functional>
#include <limits>
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
TBuffer AllocateBuffer(std::size_t bytes);

// The reach of a convolution that keeps its input's size (stride 1, as much padding on every
// side as the kernel reaches beyond its centre); -1 for any other geometry.
int SameConvolutionRadius(const TLayerParams& params);
// The whole factor by which an Interp (nearest) or a PixelShuffle enlarges; -1 for any other.
int WholeResizeFactor(const TModelLayer& layer);

// A bilinear or bicubic Interp by the same factor across and down, as a fraction in lowest terms
// with a small denominator, and how far beyond a sample's own pixel its taps reach. A margin of
// the input that the denominator divides gives a whole margin of the output on the same grid.
struct TResampling {
    int numerator = 1;
    int denominator = 1;
    int reach = 0; // input pixels
    // The input margin that gives `outputMargin` output pixels computed as from the whole tile.
    int InputMarginFor(int outputMargin) const;
    bool Divides(int inputMargin) const { return inputMargin % denominator == 0; }
    int OutputMargin(int inputMargin) const { return inputMargin / denominator * numerator; }
};
std::optional<TResampling> ResamplingOf(const TModelLayer& layer);

// A convolution's weights after the one reorder into the layout oneDNN's kernel wants.
struct TConvolutionWeights {
    memory weights;
    memory bias;
};

// A blob's value in a plan: its layout and where it lives (slot -1: the caller's input).
struct TValue {
    memory::desc desc;
    int slot = -1;
    std::size_t offset = 0; // bytes into the slot's buffer
    int readers = 0;
    memory object;
    bool placed = false; // inside a Concat's buffer
    // Pixels on each side beyond the part of the tile that is kept, in the blob's own pixels,
    // and how many the blob would have if no layer before it had left any out.
    int margin = 0;
    int fullMargin = 0;
    int viewOf = -1; // a window onto another value's buffer, which it never frees
};

// A margin that readers leave to the layer before: as wide as its inputs allow.
constexpr int WholeMargin = std::numeric_limits<int>::max();

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
    int border = 0; // input pixels on each side that only feed the kept part
    std::vector<TValue> values;
    std::vector<TStep> steps;
    std::vector<std::size_t> slotBytes;
    std::vector<int> slotUsers; // live values in each slot
    std::vector<int> freeSlots;
    std::vector<int> regionSlots; // by Concat region, -1 until its first blob is computed
    std::vector<TNetwork::TConvolutionShape> convolutions;
    int input = -1;
    int output = -1;
    int outputChannels = 0;
    int outputHeight = 0;
    int outputWidth = 0;

    // The bytes of every slot, each rounded to a cache line.
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
    // A window onto the value that leaves out all but `margin` of its margin.
    int View(int value, int margin);
    // The value with only `margin` of its margin, copied into a temporary when it has more.
    int InMargin(int value, int margin);
    // Lays the slots out in `arena` (at least Bytes() long) and binds every step's arguments.
    void Bind(char* arena);
    // Forgets the arena while the plan waits for its size to come again.
    void Release();

private:
    char* boundTo = nullptr;
    int takeSlot(std::size_t bytes);
    // A temporary that a reorder fills from the value, in `desc`, with `margin` of its margin.
    int copied(int value, const memory::desc& desc, int margin);
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
    // One buffer that the plan in use lays its slots out in. It only grows, so that images of
    // another size do not pay for fresh pages.
    TBuffer arena;
    std::size_t arenaBytes = 0;
};

// What building one tile size's plan keeps across layers.
struct TPlanBuilder {
    TNetworkState& state;
    TNetworkPlan& plan;
    std::vector<int> valueOf;    // by blob
    std::vector<int> readerOf;   // by blob: the one layer that reads it, -1 for none
    std::vector<bool> computed;  // by layer: done by another layer's step (a fused sum)
    std::vector<bool> prescaled; // by blob: a sum's weight already inside its convolution
    // By blob: the margin its readers need for the kept part to come out as with the whole
    // margin; WholeMargin where a reader's geometry is not one that margins describe.
    std::vector<int> need;

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
    // The margin a value has, and the one it would have had with the whole margin.
    int MarginOf(int value) const { return plan.values[std::size_t(value)].margin; }
    int FullMarginOf(int value) const { return plan.values[std::size_t(value)].fullMargin; }
    void SetMargin(int value, int margin, int fullMargin);
    // The margin a blob's readers need, no more than `available`.
    int NeededOf(int blob, int available) const;
};

// By blob, the margin its readers need so that the output's kept part, with no margin left,
// comes out as from the whole tile; WholeMargin everywhere when `border` is 0 or some layer's
// geometry is not one that margins describe.
std::vector<int> NeededMargins(const TNcnnModel& model, int border);

// The input of a layer that enlarges by a whole `factor`, cut to the margin its output's readers
// need; the output's margin and whole margin come back in `margin` and `fullMargin` (-1 where
// they are not known).
int CutForEnlarging(TPlanBuilder& builder, const TModelLayer& layer, int value, int factor,
                    int& margin, int& fullMargin);

// The builders of each layer kind: each adds the steps that compute the layer, gives its output
// blobs their values and reads its inputs. `in` are the values of the layer's input blobs.
void BuildSplit(TPlanBuilder& builder, std::size_t layer, const std::vector<int>& in);
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
