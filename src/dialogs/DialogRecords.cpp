#include "dialogs/DialogRecords.h"

#include <algorithm>

namespace dialogs
{

std::uint16_t readU16(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
}

std::uint32_t readU32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(readU16(bytes, at)) | (static_cast<std::uint32_t>(readU16(bytes, at + 2)) << 16);
}

void writeU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value)
{
    bytes.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void writeU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    writeU16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    writeU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::string readText(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length)
{
    std::string out;
    for (std::size_t i = at; i < at + length && i < bytes.size() && bytes[i] != 0; ++i)
        out += static_cast<char>(bytes[i]);
    return out;
}

void writeText(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t length, const std::string& text, char fill)
{
    for (std::size_t i = 0; i < length; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(i < text.size() ? text[i] : fill);
}

} // namespace dialogs
