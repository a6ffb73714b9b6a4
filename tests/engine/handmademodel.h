// Tiny ncnn models written by hand for the engine's tests: the .param text line by line and the
// .bin bytes block by block, so each test shows exactly what the model holds.
#pragma once

#include <QString>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class THandMadeModel
{
public:
    // `layers` are the layer lines; the Input line that gives "data" comes first by itself.
    THandMadeModel& Layer(const std::string& line)
    {
        lines_.push_back(line);
        return *this;
    }
    // A weight block stored as fp32 behind the tag that says so.
    THandMadeModel& Tagged(const std::vector<float>& values)
    {
        raw(std::uint32_t(0));
        return Raw(values);
    }
    // A weight block stored as fp16, padded to four bytes.
    THandMadeModel& Half(const std::vector<std::uint16_t>& halves)
    {
        raw(std::uint32_t(0x01306B47));
        for (std::uint16_t half : halves)
            raw(half);
        if (halves.size() % 2)
            raw(std::uint16_t(0));
        return *this;
    }
    THandMadeModel& Raw(const std::vector<float>& values)
    {
        for (float value : values)
            raw(value);
        return *this;
    }

    std::string Param(int blobs) const
    {
        std::string text = "7767517\n" + std::to_string(lines_.size() + 1) + " " +
                           std::to_string(blobs) + "\nInput input 0 1 data\n";
        for (const std::string& line : lines_)
            text += line + "\n";
        return text;
    }
    const std::string& Bin() const { return bin_; }

private:
    template <typename T> void raw(T value)
    {
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        bin_.append(bytes, sizeof(T));
    }

    std::vector<std::string> lines_;
    std::string bin_;
};

// A model that enlarges by repeating pixels: exact, so the image tests can check every value.
inline THandMadeModel NearestTimes(int factor)
{
    const std::string scale = std::to_string(factor) + ".0";
    return THandMadeModel().Layer("Interp up 1 1 data out 0=1 1=" + scale + " 2=" + scale);
}

inline THandMadeModel NearestFourTimes()
{
    return NearestTimes(4);
}
