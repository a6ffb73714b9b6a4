// Tiny hand-made models against outputs worked out by hand, and models that must be refused.
#include "engine/network.h"
#include "engine/tiledenlarge.h"
#include "handmademodel.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <functional>
#include <optional>
#include <string>

using engine::EModelError;
using engine::ParseNcnnModel;
using engine::TLayerParams;
using engine::TNetwork;

namespace
{

constexpr int Side = 2;

// Values around zero, different in every channel and pixel, so that mixed-up channels, pixels
// or signs show.
float inputAt(int c, int y, int x)
{
    return 0.1f * float(c + 1) * float(y * 2 + x - 2);
}

// The sum of a channel over the whole 2 x 2 input.
float channelSum(int c)
{
    float sum = 0.f;
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            sum += inputAt(c, y, x);
    return sum;
}

float leaky(float value, float slope)
{
    return value < 0.f ? value * slope : value;
}

struct TModelCase {
    const char* name;
    std::function<THandMadeModel()> model;
    int blobs;
    int scale;
    std::function<float(int c, int y, int x)> expected;
};

std::vector<TModelCase> modelCases()
{
    const auto identity = std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1};
    return {
        {"convolution 1x1 with bias",
         [] {
             return THandMadeModel()
                 .Layer("Convolution c 1 1 data out 0=3 1=1 5=1 6=9")
                 .Tagged({1, 2, 0, 0, -1, 0, 0.5f, 0, 1})
                 .Raw({0.1f, 0.2f, -0.3f});
         },
         2, 1,
         [](int c, int y, int x) {
             const float in[3] = {inputAt(0, y, x), inputAt(1, y, x), inputAt(2, y, x)};
             const float sums[3] = {in[0] + 2 * in[1] + 0.1f, -in[1] + 0.2f,
                                    0.5f * in[0] + in[2] - 0.3f};
             return sums[c];
         }},
        {"convolution 3x3 padded, fp16 weights, leaky activation",
         [] {
             // 0.5 (0x3800) from the same channel, -0.25 (0xb400) from the others, at all nine
             // kernel positions: on a 2 x 2 image every output sees every input pixel.
             std::vector<std::uint16_t> halves;
             for (int o = 0; o < 3; ++o)
                 for (int i = 0; i < 3; ++i)
                     for (int k = 0; k < 9; ++k)
                         halves.push_back(o == i ? 0x3800 : 0xb400);
             return THandMadeModel()
                 .Layer("Convolution c 1 1 data out 0=3 1=3 4=1 6=81 9=2 -23310=1,1.000000e-01")
                 .Half(halves);
         },
         2, 1,
         [](int c, int, int) {
             float value = 0.5f * channelSum(c);
             for (int i = 0; i < 3; ++i)
                 value -= i == c ? 0.f : 0.25f * channelSum(i);
             return leaky(value, 0.1f);
         }},
        {"convolution with relu activation",
         [identity] {
             return THandMadeModel()
                 .Layer("Convolution c 1 1 data out 0=3 1=1 6=9 9=1")
                 .Tagged(identity);
         },
         2, 1, [](int c, int y, int x) { return std::max(inputAt(c, y, x), 0.f); }},
        {"split, concat keeps the order of its inputs",
         [] {
             // out[o] = first half[o] - second half[(o + 1) % 3], where the second half is 2 x in.
             std::vector<float> weights(18, 0.f);
             for (int o = 0; o < 3; ++o) {
                 weights[std::size_t(o * 6 + o)] = 1.f;
                 weights[std::size_t(o * 6 + 3 + (o + 1) % 3)] = -1.f;
             }
             return THandMadeModel()
                 .Layer("Split s 1 2 data a b")
                 .Layer("BinaryOp twice 1 1 b b2 0=2 1=1 2=2.0")
                 .Layer("Concat cat 2 1 a b2 ab 0=0")
                 .Layer("Convolution c 1 1 ab out 0=3 1=1 6=18")
                 .Tagged(weights);
         },
         6, 1,
         [](int c, int y, int x) { return inputAt(c, y, x) - 2.f * inputAt((c + 1) % 3, y, x); }},
        {"eltwise sum with coefficients",
         [] {
             return THandMadeModel()
                 .Layer("Split s 1 2 data a b")
                 .Layer("BinaryOp thrice 1 1 b b3 0=2 1=1 2=3.0")
                 .Layer("Eltwise e 2 1 a b3 out 0=1 -23301=2,5.000000e-01,2.000000e+00");
         },
         5, 1, [](int c, int y, int x) { return 6.5f * inputAt(c, y, x); }},
        {"eltwise sum of a convolution's result and another blob",
         [] {
             return THandMadeModel()
                 .Layer("Split s 1 2 data a b")
                 .Layer("Convolution c 1 1 a conv 0=3 1=1 5=1 6=9")
                 .Tagged({1, 2, 0, 0, -1, 0, 0.5f, 0, 1})
                 .Raw({0.1f, 0.2f, -0.3f})
                 .Layer("Eltwise e 2 1 b conv out 0=1 -23301=2,1.000000e+00,5.000000e-01");
         },
         5, 1,
         [](int c, int y, int x) {
             const float in[3] = {inputAt(0, y, x), inputAt(1, y, x), inputAt(2, y, x)};
             const float convolved[3] = {in[0] + 2 * in[1] + 0.1f, -in[1] + 0.2f,
                                         0.5f * in[0] + in[2] - 0.3f};
             return in[c] + 0.5f * convolved[c];
         }},
        {"concats of 16-channel blocks joined in place, a sum after a sum",
         [] {
             // a = 16 copies of the input's channels, b = 2a, d = a - b = -a, all written
             // into the 48 channels of the outer Concat, the inner one being its first 32.
             // e = a + 10b + 100d = -79a; s1 = 0.5e + a = -38.5a; s2 = 0.25 s1 + a = -8.625a.
             std::vector<float> a(16 * 3, 0.f), b(16 * 16, 0.f), d(16 * 32, 0.f);
             std::vector<float> e(16 * 48, 0.f), f(3 * 16, 0.f);
             for (int k = 0; k < 16; ++k) {
                 a[std::size_t(k * 3 + k % 3)] = 1.f;
                 b[std::size_t(k * 16 + k)] = 2.f;
                 d[std::size_t(k * 32 + k)] = 1.f;
                 d[std::size_t(k * 32 + 16 + k)] = -1.f;
                 e[std::size_t(k * 48 + k)] = 1.f;
                 e[std::size_t(k * 48 + 16 + k)] = 10.f;
                 e[std::size_t(k * 48 + 32 + k)] = 100.f;
             }
             for (int c = 0; c < 3; ++c)
                 f[std::size_t(c * 16 + c)] = 1.f;
             return THandMadeModel()
                 .Layer("Convolution ca 1 1 data a 0=16 1=1 6=48")
                 .Tagged(a)
                 .Layer("Split sa 1 5 a a1 a2 a3 a4 a5")
                 .Layer("Convolution cb 1 1 a1 b 0=16 1=1 6=256")
                 .Tagged(b)
                 .Layer("Split sb 1 2 b b1 b2")
                 .Layer("Concat j1 2 1 a2 b1 ab 0=0")
                 .Layer("Convolution cd 1 1 ab d 0=16 1=1 6=512")
                 .Tagged(d)
                 .Layer("Concat j2 3 1 a3 b2 d abd 0=0")
                 .Layer("Convolution ce 1 1 abd e 0=16 1=1 6=768")
                 .Tagged(e)
                 .Layer("Eltwise s1 2 1 e a4 s1 0=1 -23301=2,5.000000e-01,1.000000e+00")
                 .Layer("Eltwise s2 2 1 s1 a5 s2 0=1 -23301=2,2.500000e-01,1.000000e+00")
                 .Layer("Convolution cf 1 1 s2 out 0=3 1=1 6=48")
                 .Tagged(f);
         },
         17, 1, [](int c, int y, int x) { return -8.625f * inputAt(c, y, x); }},
        {"a blob joined at two offsets is copied into the second place",
         [] {
             // r = (p, q) with p = (a, b) and q = (b, a): a and b cannot sit at both offsets.
             // With b = 2a, out = r[0..16) + 2 r[16..32) + 4 r[32..48) + 8 r[48..64) = 21a.
             std::vector<float> a(16 * 3, 0.f), b(16 * 16, 0.f), out(3 * 64, 0.f);
             for (int k = 0; k < 16; ++k) {
                 a[std::size_t(k * 3 + k % 3)] = 1.f;
                 b[std::size_t(k * 16 + k)] = 2.f;
             }
             for (int c = 0; c < 3; ++c)
                 for (int block = 0; block < 4; ++block)
                     out[std::size_t(c * 64 + block * 16 + c)] = float(1 << block);
             return THandMadeModel()
                 .Layer("Convolution ca 1 1 data a 0=16 1=1 6=48")
                 .Tagged(a)
                 .Layer("Split sa 1 3 a a1 a2 a3")
                 .Layer("Convolution cb 1 1 a1 b 0=16 1=1 6=256")
                 .Tagged(b)
                 .Layer("Split sb 1 2 b b1 b2")
                 .Layer("Concat p 2 1 a2 b1 p 0=0")
                 .Layer("Concat q 2 1 b2 a3 q 0=0")
                 .Layer("Concat r 2 1 p q r 0=0")
                 .Layer("Convolution co 1 1 r out 0=3 1=1 6=192")
                 .Tagged(out);
         },
         12, 1, [](int c, int y, int x) { return 21.f * inputAt(c, y, x); }},
        {"eltwise product",
         [] {
             return THandMadeModel()
                 .Layer("Split s 1 2 data a b")
                 .Layer("Eltwise e 2 1 a b out 0=0");
         },
         4, 1, [](int c, int y, int x) { return inputAt(c, y, x) * inputAt(c, y, x); }},
        {"binary subtraction of two blobs",
         [] {
             return THandMadeModel()
                 .Layer("Split s 1 2 data a b")
                 .Layer("BinaryOp thrice 1 1 b b3 0=2 1=1 2=3.0")
                 .Layer("BinaryOp minus 2 1 a b3 out 0=1");
         },
         5, 1, [](int c, int y, int x) { return -2.f * inputAt(c, y, x); }},
        {"binary reversed subtraction from a number",
         [] { return THandMadeModel().Layer("BinaryOp r 1 1 data out 0=7 1=1 2=1.0"); }, 2, 1,
         [](int c, int y, int x) { return 1.f - inputAt(c, y, x); }},
        {"binary maximum with a number",
         [] { return THandMadeModel().Layer("BinaryOp m 1 1 data out 0=4 1=1 2=-0.1"); }, 2, 1,
         [](int c, int y, int x) { return std::max(inputAt(c, y, x), -0.1f); }},
        {"nearest interpolation by 2",
         [] { return THandMadeModel().Layer("Interp up 1 1 data out 0=1 1=2.0 2=2.0"); }, 2, 2,
         [](int c, int y, int x) { return inputAt(c, y / 2, x / 2); }},
        {"PReLU with a slope per channel",
         [] {
             return THandMadeModel().Layer("PReLU p 1 1 data out 0=3").Raw({0.1f, 0.2f, 0.3f});
         },
         2, 1, [](int c, int y, int x) { return leaky(inputAt(c, y, x), 0.1f * float(c + 1)); }},
        {"PReLU with one slope after a convolution",
         [identity] {
             return THandMadeModel()
                 .Layer("Convolution c 1 1 data t 0=3 1=1 6=9")
                 .Tagged(identity)
                 .Layer("PReLU p 1 1 t out 0=1")
                 .Raw({0.25f});
         },
         3, 1, [](int c, int y, int x) { return leaky(inputAt(c, y, x), 0.25f); }},
        {"pixel shuffle by 2",
         [] {
             // Channel k of the convolution is (k + 1) times input channel k / 4.
             std::vector<float> weights(36, 0.f);
             for (int k = 0; k < 12; ++k)
                 weights[std::size_t(k * 3 + k / 4)] = float(k + 1);
             return THandMadeModel()
                 .Layer("Convolution c 1 1 data t 0=12 1=1 6=36")
                 .Tagged(weights)
                 .Layer("PixelShuffle ps 1 1 t out 0=2");
         },
         3, 2,
         [](int c, int y, int x) {
             const int k = c * 4 + (y % 2) * 2 + x % 2;
             return float(k + 1) * inputAt(c, y / 2, x / 2);
         }},
    };
}

class HandMadeModel : public testing::TestWithParam<TModelCase>
{
};

TEST_P(HandMadeModel, GivesTheOutputWorkedOutByHand)
{
    const TModelCase& test = GetParam();
    const THandMadeModel model = test.model();
    TNetwork network(ParseNcnnModel(model.Param(test.blobs), model.Bin()),
                     engine::TPrecision::Float32);
    ASSERT_EQ(network.Scale(), test.scale);
    std::vector<float> input;
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x)
                input.push_back(inputAt(c, y, x));
    const int out = Side * test.scale;
    const float* output = network.Run(Side, Side, 0, input.data());
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < out; ++y)
            for (int x = 0; x < out; ++x)
                EXPECT_NEAR(output[std::size_t((c * out + y) * out + x)], test.expected(c, y, x),
                            1e-5)
                    << "channel " << c << " at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Layers, HandMadeModel, testing::ValuesIn(modelCases()),
                         [](const testing::TestParamInfo<TModelCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// Bilinear and bicubic resizing as ncnn computes it, on the 2 x 2 input: the weight of each of the
// two input rows (or columns) in each output row (or column), worked out by hand. Bicubic uses
// A = -0.75, and a sample beyond the edge is the edge's own.
TEST(Resize, BilinearAndBicubicWeighTheirSamplesAsNcnnDoes)
{
    using TWeights = std::vector<std::array<double, 2>>;
    const TWeights bilinear{{1, 0}, {0.75, 0.25}, {0.25, 0.75}, {0, 1}};
    const struct {
        const char* name;
        std::vector<std::string> layers;
        int blobs;
        TWeights weights;
    } cases[] = {
        {"bilinear by a factor", {"Interp r 1 1 data out 0=2 1=2.0 2=2.0"}, 2, bilinear},
        {"bilinear with aligned corners",
         {"Interp r 1 1 data out 0=2 1=2.0 2=2.0 6=1"},
         2,
         {{1, 0}, {2 / 3., 1 / 3.}, {1 / 3., 2 / 3.}, {0, 1}}},
        {"bicubic by a factor",
         {"Interp r 1 1 data out 0=3 1=2.0 2=2.0"},
         2,
         {{1.10546875, -0.10546875},
          {0.7734375, 0.2265625},
          {0.2265625, 0.7734375},
          {-0.10546875, 1.10546875}}},
        // As the fast anime model at 2x: its 4x result made smaller.
        {"bicubic down after nearest up",
         {"Interp up 1 1 data big 0=1 1=4.0 2=4.0", "Interp down 1 1 big out 0=3 1=0.5 2=0.5"},
         3,
         {{1, 0}, {1.09375, -0.09375}, {-0.09375, 1.09375}, {0, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        THandMadeModel model;
        for (const std::string& line : c.layers)
            model.Layer(line);
        TNetwork network(ParseNcnnModel(model.Param(c.blobs), model.Bin()),
                         engine::TPrecision::Float32);
        ASSERT_EQ(network.Scale(), 2);
        std::vector<float> input;
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < Side; ++y)
                for (int x = 0; x < Side; ++x)
                    input.push_back(inputAt(ch, y, x));
        const float* output = network.Run(Side, Side, 0, input.data());
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    double expected = 0;
                    for (int a = 0; a < 2; ++a)
                        for (int b = 0; b < 2; ++b)
                            expected += c.weights[std::size_t(y)][std::size_t(a)] *
                                        c.weights[std::size_t(x)][std::size_t(b)] *
                                        inputAt(ch, a, b);
                    EXPECT_NEAR(output[std::size_t((ch * 4 + y) * 4 + x)], expected, 1e-5)
                        << "channel " << ch << " at " << x << "," << y;
                }
    }
}

// Model files are C-locale text. A desktop whose decimal sign is a comma, or whose digits are not
// ASCII, sets the C library's locale to its own through Qt; the numbers must read the same.
TEST(ModelText, NumbersReadTheSameInEveryLocale)
{
    const struct {
        const char* text;
        std::optional<int> whole;
        std::optional<float> real;
    } cases[] = {
        {"4", 4, 4.f},
        {"-7", -7, -7.f},
        {"+3", 3, 3.f},
        {"4.000000e+00", std::nullopt, 4.f},
        {"2.5", std::nullopt, 2.5f},
        {"-1.000000e-01", std::nullopt, -0.1f},
        {"2,5", std::nullopt, std::nullopt},
        {"99999999999", std::nullopt, 99999999999.f},
        {"inf", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"1e99", std::nullopt, std::nullopt},
        {"3x", std::nullopt, std::nullopt},
        {"+-3", std::nullopt, std::nullopt},
    };
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* locale : {"C", "de_DE.UTF-8", "ar_EG.UTF-8"}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << "scripts/setup-deps generates it";
        for (const auto& c : cases) {
            SCOPED_TRACE(c.text);
            TLayerParams params;
            params.Set(1, c.text);
            if (c.whole)
                EXPECT_EQ(params.Int(1, 0), *c.whole);
            else
                EXPECT_THROW(params.Int(1, 0), EModelError);
            if (c.real)
                EXPECT_FLOAT_EQ(params.Float(1, 0.f), *c.real);
            else
                EXPECT_THROW(params.Float(1, 0.f), EModelError);
        }
        TLayerParams list;
        list.Set(-23310, "2,2.000000e-01,-3.5");
        EXPECT_EQ(list.Floats(-23310), (std::vector<float>{0.2f, -3.5f}));
        list.Set(-23310, "1,0,5");
        EXPECT_THROW(list.Floats(-23310), EModelError);

        const THandMadeModel model = NearestFourTimes();
        EXPECT_EQ(TNetwork(ParseNcnnModel(model.Param(2), model.Bin())).Scale(), 4);
    }
    std::setlocale(LC_ALL, saved.c_str());
}

// A model with every layer kind whose geometry margins describe: convolutions before and after
// both enlargements, a sum with the input, and the input enlarged on its own to be added last.
THandMadeModel everyMarginLayer()
{
    unsigned state = 12345;
    const auto weights = [&state](int count) {
        std::vector<float> values;
        for (int i = 0; i < count; ++i) {
            state = state * 1103515245u + 12345u;
            values.push_back(float((state >> 16) % 1000) / 1000.f - 0.5f);
        }
        return values;
    };
    THandMadeModel model;
    model.Layer("Split split 1 3 data a b c")
        .Layer("Convolution c1 1 1 a x1 0=4 1=3 4=1 5=1 6=108 9=2 -23310=1,1.000000e-01")
        .Tagged(weights(108))
        .Raw(weights(4))
        .Layer("PReLU p1 1 1 x1 x2 0=4")
        .Raw(weights(4))
        .Layer("Convolution c2 1 1 x2 x3 0=3 1=3 4=1 5=1 6=108")
        .Tagged(weights(108))
        .Raw(weights(3))
        .Layer("Eltwise e1 2 1 x3 b x4 0=1")
        .Layer("Convolution c3 1 1 x4 x5 0=12 1=3 4=1 5=1 6=324")
        .Tagged(weights(324))
        .Raw(weights(12))
        .Layer("PixelShuffle ps 1 1 x5 x6 0=2")
        .Layer("Convolution c4 1 1 x6 x7 0=3 1=3 4=1 5=1 6=81")
        .Tagged(weights(81))
        .Raw(weights(3))
        .Layer("Interp i1 1 1 x7 x8 0=1 1=2.0 2=2.0")
        .Layer("Convolution c5 1 1 x8 x9 0=3 1=3 4=1 5=1 6=81")
        .Tagged(weights(81))
        .Raw(weights(3))
        .Layer("Interp i2 1 1 c up 0=1 1=4.0 2=4.0")
        .Layer("BinaryOp add 2 1 x9 up out 0=0");
    return model;
}

TEST(TileBorder, LayersLeaveOutWhatTheKeptPartDoesNotDependOn)
{
    // As the fast anime models end at 2x and 3x: the 4x result made smaller, bilinearly or
    // bicubically, with a factor that is not whole.
    const struct {
        const char* tail;
        int scale;
    } cases[] = {
        {"", 4},
        {"Interp down 1 1 out small 0=2 1=0.5 2=0.5", 2},
        {"Interp down 1 1 out small 0=3 1=0.75 2=0.75", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        THandMadeModel model = everyMarginLayer();
        if (*c.tail)
            model.Layer(c.tail);
        TNetwork network(ParseNcnnModel(model.Param(*c.tail ? 16 : 15), model.Bin()),
                         engine::TPrecision::Float32);
        ASSERT_EQ(network.Scale(), c.scale);
        constexpr int side = 20;
        constexpr int border = 5;
        std::vector<float> input;
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    input.push_back(std::sin(0.7f * float(x) + 1.3f * float(y) + float(ch)));
        const int whole = side * c.scale;
        const float* output = network.Run(side, side, 0, input.data());
        const std::vector<float> wholeTile(output, output + 3 * whole * whole);
        const int kept = (side - 2 * border) * c.scale;
        const int offset = border * c.scale;
        output = network.Run(side, side, border, input.data());
        for (int ch = 0; ch < 3; ++ch)
            for (int y = 0; y < kept; ++y)
                for (int x = 0; x < kept; ++x)
                    ASSERT_NEAR(
                        output[std::size_t((ch * kept + y) * kept + x)],
                        wholeTile[std::size_t((ch * whole + y + offset) * whole + x + offset)],
                        1e-4)
                        << "channel " << ch << " at " << x << "," << y;

        const auto area = [&network](int withBorder) {
            long pixels = 0;
            for (const auto& shape : network.ConvolutionShapes(side, side, withBorder))
                pixels += long(shape.height) * shape.width;
            return pixels;
        };
        EXPECT_LT(area(border), area(0)) << "the border's outer ring is still computed";
    }
}

struct TBrokenCase {
    const char* name;
    std::string param;
    std::string bin;
    const char* named; // what the message must name
};

std::vector<TBrokenCase> brokenCases()
{
    const auto conv = [](const std::vector<float>& weights) {
        return THandMadeModel().Layer("Convolution c 1 1 data out 0=3 1=1 6=9").Tagged(weights);
    };
    const THandMadeModel good = conv(std::vector<float>(9, 1.f));
    std::string oversized = good.Bin() + std::string(8, '\0');
    std::string badTag = good.Bin();
    badTag[0] = 0x78;
    badTag[1] = 0x56;
    badTag[2] = 0x34;
    badTag[3] = 0x12;
    return {
        {"an unknown layer type",
         THandMadeModel().Layer("Deconvolution d 1 1 data out 0=3").Param(2), "", "Deconvolution"},
        {"an unknown parameter",
         THandMadeModel().Layer("Convolution c 1 1 data out 0=3 1=1 6=9 7=1").Param(2), good.Bin(),
         "parameter 7"},
        {"a cut-off weights file", good.Param(2), good.Bin().substr(0, 20), "cut off"},
        // Two billion weights declared beside a file of 700 bytes: refused before the eight
        // gigabytes they would take are allocated.
        {"a layer that declares more weights than the file holds",
         THandMadeModel()
             .Layer("Convolution huge 1 1 data out 0=2000000000 1=1 5=1 6=2000000000")
             .Param(2),
         THandMadeModel().Tagged(std::vector<float>(174, 1.f)).Bin(), "\"huge\"'s next block"},
        {"blobs that form a cycle",
         THandMadeModel()
             .Layer("Convolution a 1 1 b a2 0=3 1=1 6=9")
             .Layer("Convolution b 1 1 a2 b 0=3 1=1 6=9")
             .Param(3),
         "", "which no earlier layer gives"},
        {"a weights file with bytes to spare", good.Param(2), oversized, "8 bytes more"},
        {"an unknown weight tag", good.Param(2), badTag, "0x12345678"},
        {"a blob no layer gives",
         THandMadeModel().Layer("Interp up 1 1 dta out 0=1 1=2.0 2=2.0").Param(2), "", "\"dta\""},
        {"a wrong blob count", NearestFourTimes().Param(3), "", "3 blobs"},
        {"an unsupported parameter value",
         THandMadeModel().Layer("Interp up 1 1 data out 0=4 1=2.0 2=2.0").Param(2), "", "0=4"},
        {"weights that do not fit the input's channels",
         THandMadeModel()
             .Layer("Convolution c 1 1 data out 0=3 1=1 6=12")
             .Tagged(std::vector<float>(12, 1.f))
             .Param(2),
         THandMadeModel().Tagged(std::vector<float>(12, 1.f)).Bin(), "6=12"},
        {"a model that does not give an RGB image",
         THandMadeModel().Layer("Convolution c 1 1 data out 0=2 1=1 6=6").Param(2),
         THandMadeModel().Tagged(std::vector<float>(6, 1.f)).Bin(), "2 channels"},
    };
}

class BrokenModel : public testing::TestWithParam<TBrokenCase>
{
};

TEST_P(BrokenModel, IsRefusedWithAMessageThatNamesTheFault)
{
    const TBrokenCase& test = GetParam();
    try {
        TNetwork network(ParseNcnnModel(test.param, test.bin));
        FAIL() << "the model was accepted";
    } catch (const EModelError& error) {
        EXPECT_NE(std::string(error.what()).find(test.named), std::string::npos)
            << "message: " << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Models, BrokenModel, testing::ValuesIn(brokenCases()),
                         [](const testing::TestParamInfo<TBrokenCase>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

} // namespace
