#include "scramble.h"

#include <cstdint>

namespace
{

constexpr std::uint16_t Seed = 0x4D2A;
constexpr std::uint16_t M = 0xC3A5;
constexpr std::uint16_t A = 0x2F7B;

std::uint16_t nextKey(std::uint16_t key, std::uint8_t scrambled)
{
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(scrambled + key) * M + A) &
                                      0xFFFF);
}

int hexValue(QChar ch)
{
    if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
        return ch.unicode() - '0';
    if (ch >= QLatin1Char('A') && ch <= QLatin1Char('F'))
        return ch.unicode() - 'A' + 10;
    return -1;
}

} // namespace

QString ScrambleText(const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    QString result;
    std::uint16_t key = Seed;
    for (const char ch : text.toUtf8()) {
        const auto scrambled =
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(ch) ^ (key >> 8));
        result += QLatin1Char(hex[scrambled >> 4]);
        result += QLatin1Char(hex[scrambled & 0xF]);
        key = nextKey(key, scrambled);
    }
    return result;
}

QString UnscrambleText(const QString& text)
{
    const QString upper = text.toUpper();
    QByteArray bytes;
    std::uint16_t key = Seed;
    for (qsizetype i = 0; i + 1 < upper.size(); i += 2) {
        const int high = hexValue(upper[i]);
        const int low = hexValue(upper[i + 1]);
        if (high < 0 || low < 0)
            return {};
        const auto scrambled = static_cast<std::uint8_t>(high * 16 + low);
        bytes.append(static_cast<char>(scrambled ^ (key >> 8)));
        key = nextKey(key, scrambled);
    }
    return QString::fromUtf8(bytes);
}
