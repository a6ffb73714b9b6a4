#include "ncnnmodel.h"

#include "layerkinds.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <unordered_map>

namespace engine
{

namespace
{

constexpr int ParamMagic = 7767517;
constexpr std::uint32_t TagFloat16 = 0x01306B47;
constexpr std::uint32_t TagBfloat16 = 0x01348B83;

std::string inQuotes(const std::string& text)
{
    return '"' + text + '"';
}

// Model files are written in the C locale whatever the desktop's language. The standard C
// parsers follow the process's locale, which Qt takes from the desktop: under a German one they
// stop at the "." of "0.2". from_chars never looks at a locale.
template <typename Number, typename... Format>
std::optional<Number> numberIn(std::string_view text, Format... format)
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, format...);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<int> wholeNumberIn(std::string_view text)
{
    return numberIn<int>(text, 10);
}

// The words of a line that is known to hold at least one.
std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t\r", at)) != std::string::npos) {
        const std::size_t end = line.find_first_of(" \t\r", at);
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::optional<float> realNumberIn(std::string_view text)
{
    const std::optional<float> value = numberIn<float>(text, std::chars_format::general);
    if (!value || !std::isfinite(*value))
        return std::nullopt;
    return value;
}

float halfToFloat(std::uint16_t half)
{
    const std::uint32_t sign = std::uint32_t(half & 0x8000u) << 16;
    const std::uint32_t exponent = (half >> 10) & 0x1f;
    const std::uint32_t mantissa = half & 0x3ffu;
    std::uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: scale it into a normal fp32 number.
            const float value = std::ldexp(float(mantissa), -24);
            std::memcpy(&bits, &value, sizeof bits);
            bits |= sign;
        }
    } else if (exponent == 31) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    }
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// Reads weight blocks from the .bin bytes and never past their end.
class TWeightReader
{
public:
    explicit TWeightReader(const std::string& bytes) : bytes_(bytes) {}

    std::vector<float> Tagged(std::size_t count, const std::string& layer)
    {
        std::uint32_t tag;
        take(&tag, sizeof tag, layer);
        // What a hostile model declares is checked against the file before anything the size of
        // the declaration is allocated.
        const std::size_t size = tag == TagFloat16 || tag == TagBfloat16 ? 2 : sizeof(float);
        need(count, size, layer);
        std::vector<float> values(count);
        if (tag == 0) {
            take(values.data(), count * sizeof(float), layer);
        } else if (tag == TagFloat16 || tag == TagBfloat16) {
            std::vector<std::uint16_t> halves(count);
            take(halves.data(), count * 2, layer);
            skipPadding(count * 2, layer);
            for (std::size_t i = 0; i < count; ++i) {
                if (tag == TagFloat16) {
                    values[i] = halfToFloat(halves[i]);
                } else {
                    const std::uint32_t bits = std::uint32_t(halves[i]) << 16;
                    std::memcpy(&values[i], &bits, sizeof bits);
                }
            }
        } else {
            std::ostringstream message;
            message << "layer " << inQuotes(layer) << " stores its weights with tag 0x" << std::hex
                    << tag << ", which is not fp32 (0), fp16 (0x1306b47) or bf16 (0x1348b83)";
            throw EModelError(message.str());
        }
        return values;
    }

    std::vector<float> Raw(std::size_t count, const std::string& layer)
    {
        need(count, sizeof(float), layer);
        std::vector<float> values(count);
        take(values.data(), count * sizeof(float), layer);
        return values;
    }

    std::size_t Left() const { return bytes_.size() - at_; }

private:
    void need(std::size_t count, std::size_t elementSize, const std::string& layer) const
    {
        if (count > Left() / elementSize)
            tooShort(count * elementSize, layer);
    }

    [[noreturn]] void tooShort(std::size_t size, const std::string& layer) const
    {
        throw EModelError("the weights file ends " + std::to_string(Left()) +
                          " bytes after the start of layer " + inQuotes(layer) + "'s next block, " +
                          "which needs " + std::to_string(size) +
                          ": it is cut off or belongs to another model");
    }

    void take(void* target, std::size_t size, const std::string& layer)
    {
        if (size > Left())
            tooShort(size, layer);
        std::memcpy(target, bytes_.data() + at_, size);
        at_ += size;
    }

    void skipPadding(std::size_t size, const std::string& layer)
    {
        const std::size_t padding = (4 - size % 4) % 4;
        if (padding > Left())
            throw EModelError("the weights file ends inside layer " + inQuotes(layer) +
                              "'s padding");
        at_ += padding;
    }

    const std::string& bytes_;
    std::size_t at_ = 0;
};

std::string layerLabel(const TModelLayer& layer)
{
    return inQuotes(layer.name) + " (" + layer.type + ")";
}

// A key outside a kind's list is refused rather than ignored, since ignoring it would quietly
// compute something else than the model's author meant.
void checkParams(const TModelLayer& layer, const TLayerKind* kind)
{
    if (!kind)
        throw EModelError("layer " + inQuotes(layer.name) + " has the type " +
                          inQuotes(layer.type) + ", which this engine does not support");
    for (int key : layer.params.Keys()) {
        if (!kind->keys.count(key))
            throw EModelError("layer " + layerLabel(layer) + " has the parameter " +
                              std::to_string(key) + ", which this engine does not support");
    }
}

void readWeights(TModelLayer& layer, const TLayerKind& kind, TWeightReader& reader)
{
    if (!kind.weights)
        return;
    for (const TWeightBlock& block : kind.weights(layer))
        layer.weights.push_back(block.tagged ? reader.Tagged(block.count, layer.name)
                                             : reader.Raw(block.count, layer.name));
}

} // namespace

void TLayerParams::Set(int key, std::string value)
{
    values_[key] = std::move(value);
}

int TLayerParams::Int(int key, int fallback) const
{
    const auto found = values_.find(key);
    if (found == values_.end())
        return fallback;
    const std::optional<int> value = wholeNumberIn(found->second);
    if (!value)
        throw EModelError("layer " + inQuotes(layer_) + ": parameter " + std::to_string(key) + "=" +
                          found->second + " is not a whole number");
    return *value;
}

float TLayerParams::Float(int key, float fallback) const
{
    const auto found = values_.find(key);
    if (found == values_.end())
        return fallback;
    const std::optional<float> value = realNumberIn(found->second);
    if (!value)
        throw EModelError("layer " + inQuotes(layer_) + ": parameter " + std::to_string(key) + "=" +
                          found->second + " is not a number");
    return *value;
}

std::vector<float> TLayerParams::Floats(int key) const
{
    const auto found = values_.find(key);
    if (found == values_.end())
        return {};
    std::vector<std::string> items;
    std::stringstream stream(found->second);
    for (std::string item; std::getline(stream, item, ',');)
        items.push_back(item);
    const auto bad = [&] {
        return EModelError("layer " + inQuotes(layer_) + ": parameter " + std::to_string(key) +
                           "=" + found->second + " is not a list of numbers");
    };
    if (items.empty())
        throw bad();
    const std::optional<int> count = wholeNumberIn(items[0]);
    if (!count || *count < 0 || std::size_t(*count) != items.size() - 1)
        throw bad();
    std::vector<float> values;
    for (std::size_t i = 1; i < items.size(); ++i) {
        const std::optional<float> value = realNumberIn(items[i]);
        if (!value)
            throw bad();
        values.push_back(*value);
    }
    return values;
}

std::vector<int> TLayerParams::Keys() const
{
    std::vector<int> keys;
    for (const auto& [key, value] : values_)
        keys.push_back(key);
    return keys;
}

TNcnnModel ParseNcnnModel(const std::string& paramText, const std::string& binBytes)
{
    std::istringstream lines(paramText);
    std::string line;
    const auto nextLine = [&]() -> bool {
        while (std::getline(lines, line)) {
            if (line.find_first_not_of(" \t\r") != std::string::npos)
                return true;
        }
        return false;
    };
    if (!nextLine() || wholeNumberIn(wordsOf(line).front()) != ParamMagic)
        throw EModelError("the .param file does not start with ncnn's magic number 7767517");
    std::optional<int> layerCount;
    std::optional<int> blobCount;
    if (nextLine()) {
        const std::vector<std::string> counts = wordsOf(line);
        layerCount = wholeNumberIn(counts[0]);
        blobCount = counts.size() > 1 ? wholeNumberIn(counts[1]) : std::nullopt;
    }
    if (!layerCount || !blobCount || *layerCount <= 0 || *blobCount <= 0)
        throw EModelError("the .param file's second line must give the layer and blob counts");

    TNcnnModel model;
    std::unordered_map<std::string, int> blobIndex;
    std::vector<int> consumers;
    TWeightReader reader(binBytes);
    for (int l = 0; l < *layerCount; ++l) {
        if (!nextLine())
            throw EModelError("the .param file announces " + std::to_string(*layerCount) +
                              " layers but has " + std::to_string(l));
        const std::vector<std::string> words = wordsOf(line);
        const std::optional<int> inputCount =
            words.size() >= 4 ? wholeNumberIn(words[2]) : std::nullopt;
        const std::optional<int> outputCount =
            words.size() >= 4 ? wholeNumberIn(words[3]) : std::nullopt;
        if (!inputCount || !outputCount || *inputCount < 0 || *outputCount < 0)
            throw EModelError("the .param file's line " + inQuotes(line) + " is not a layer");
        TModelLayer layer;
        layer.type = words[0];
        layer.name = words[1];
        layer.params.SetLayerName(layer.name);
        std::size_t next = 4;
        for (int i = 0; i < *inputCount; ++i) {
            if (next >= words.size())
                throw EModelError("layer " + inQuotes(layer.name) + " lists fewer inputs than " +
                                  std::to_string(*inputCount));
            const std::string& blob = words[next++];
            const auto found = blobIndex.find(blob);
            if (found == blobIndex.end())
                throw EModelError("layer " + inQuotes(layer.name) + " reads the blob " +
                                  inQuotes(blob) + ", which no earlier layer gives");
            if (consumers[std::size_t(found->second)]++ != 0)
                throw EModelError("the blob " + inQuotes(blob) +
                                  " is read by more than one layer without a Split");
            layer.inputs.push_back(found->second);
        }
        for (int i = 0; i < *outputCount; ++i) {
            if (next >= words.size())
                throw EModelError("layer " + inQuotes(layer.name) + " lists fewer outputs than " +
                                  std::to_string(*outputCount));
            const std::string& blob = words[next++];
            if (blobIndex.count(blob))
                throw EModelError("the blob " + inQuotes(blob) +
                                  " is given by more than one layer");
            blobIndex.emplace(blob, int(model.blobs.size()));
            layer.outputs.push_back(int(model.blobs.size()));
            model.blobs.push_back(blob);
            consumers.push_back(0);
        }
        for (; next < words.size(); ++next) {
            const std::string& pair = words[next];
            const std::size_t equals = pair.find('=');
            const std::optional<int> key =
                equals == std::string::npos
                    ? std::nullopt
                    : wholeNumberIn(std::string_view(pair).substr(0, equals));
            if (!key)
                throw EModelError("layer " + inQuotes(layer.name) +
                                  " has the malformed parameter " + inQuotes(pair));
            layer.params.Set(*key, pair.substr(equals + 1));
        }
        const TLayerKind* kind = LayerKindOf(layer.type);
        checkParams(layer, kind);
        if (layer.type == "Input") {
            if (model.input >= 0 || layer.outputs.size() != 1)
                throw EModelError("a model needs exactly one Input layer with one blob");
            model.input = layer.outputs[0];
        }
        readWeights(layer, *kind, reader);
        model.layers.push_back(std::move(layer));
    }
    if (nextLine())
        throw EModelError("the .param file has more layer lines than the " +
                          std::to_string(*layerCount) + " it announces");
    if (int(model.blobs.size()) != *blobCount)
        throw EModelError("the .param file announces " + std::to_string(*blobCount) +
                          " blobs but its layers give " + std::to_string(model.blobs.size()));
    if (reader.Left() != 0)
        throw EModelError("the weights file has " + std::to_string(reader.Left()) +
                          " bytes more than the model's layers use: it belongs to another model");
    if (model.input < 0)
        throw EModelError("the model has no Input layer");
    for (std::size_t b = 0; b < model.blobs.size(); ++b) {
        if (consumers[b] == 0) {
            if (model.output >= 0)
                throw EModelError("the model has more than one output blob: " +
                                  inQuotes(model.blobs[std::size_t(model.output)]) + " and " +
                                  inQuotes(model.blobs[b]));
            model.output = int(b);
        }
    }
    if (model.output < 0 || model.output == model.input)
        throw EModelError("the model has no output blob");
    return model;
}

TNcnnModel LoadNcnnModel(const QString& paramPath, const QString& binPath)
{
    const auto readAll = [](const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw EModelError("cannot open " + path.toStdString() + ": " +
                              file.errorString().toStdString());
        const QByteArray bytes = file.readAll();
        return std::string(bytes.constData(), std::size_t(bytes.size()));
    };
    try {
        return ParseNcnnModel(readAll(paramPath), readAll(binPath));
    } catch (const EModelError& error) {
        throw EModelError(paramPath.toStdString() + ": " + error.what());
    }
}

} // namespace engine
