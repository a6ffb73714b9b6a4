// An ncnn model as read from its .param text and .bin weights: layers, blob names and weights as
// fp32, checked so that a damaged or unsupported file fails on load with a message that names
// what is wrong, before any image is touched.
#pragma once

#include <QString>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine
{

class EModelError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One layer's key=value parameters, kept as written and read by type when the layer is built.
class TLayerParams
{
public:
    void SetLayerName(std::string name) { layer_ = std::move(name); }
    void Set(int key, std::string value);
    bool Has(int key) const { return values_.count(key) != 0; }
    int Int(int key, int fallback) const;
    float Float(int key, float fallback) const;
    std::vector<float> Floats(int key) const; // an array key (-23300 - index)
    std::vector<int> Keys() const;

private:
    std::map<int, std::string> values_;
    std::string layer_; // for messages
};

struct TModelLayer {
    std::string type;
    std::string name;
    std::vector<int> inputs;  // blob indices
    std::vector<int> outputs; // blob indices
    TLayerParams params;
    // Weight blocks in the order the layer type stores them (a convolution's kernel, then its
    // bias; a PReLU's slopes).
    std::vector<std::vector<float>> weights;
};

struct TNcnnModel {
    std::vector<TModelLayer> layers;
    std::vector<std::string> blobs;
    int input = -1;  // the blob that the Input layer gives
    int output = -1; // the one blob that no layer consumes
};

// Reads a model; throws EModelError naming the file, the layer and what is wrong.
TNcnnModel LoadNcnnModel(const QString& paramPath, const QString& binPath);
// The same from bytes; `source` names them in messages.
TNcnnModel ParseNcnnModel(const std::string& paramText, const std::string& binBytes);

} // namespace engine
