#include "support.h"

#include <gtest/gtest.h>

#include <cstring>

std::string Nul(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c == '|')
            c = '\0';
    return out;
}

std::string Captured(const std::function<void()>& f)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

uint32_t ReferenceCrc32(const unsigned char* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; i++) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; bit++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static uint32_t LoadLe32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::vector<unsigned char> EnvImage(const std::vector<std::string>& entries)
{
    std::vector<unsigned char> image(ENV_SIZE, 0);
    size_t pos = 4;
    for (const std::string& entry : entries) {
        memcpy(image.data() + pos, entry.c_str(), entry.size() + 1);
        pos += entry.size() + 1;
    }
    uint32_t crc = ReferenceCrc32(image.data() + 4, ENV_DATA_SIZE);
    for (int i = 0; i < 4; i++)
        image[i] = static_cast<unsigned char>(crc >> (8 * i));
    return image;
}

std::vector<std::string> EnvEntries(const unsigned char* image)
{
    std::vector<std::string> entries;
    size_t pos = 4;
    while (pos < ENV_SIZE && image[pos] != 0) {
        size_t end = pos;
        while (end < ENV_SIZE && image[end] != 0)
            end++;
        entries.emplace_back(reinterpret_cast<const char*>(image + pos), end - pos);
        pos = end + 1;
    }
    return entries;
}

bool EnvCrcValid(const unsigned char* image)
{
    return LoadLe32(image) == ReferenceCrc32(image + 4, ENV_DATA_SIZE);
}
