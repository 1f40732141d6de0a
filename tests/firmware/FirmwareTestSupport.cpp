#include "FirmwareTestSupport.h"

#include <algorithm>

namespace quirel::test {

std::string SRecord(char type, std::uint32_t address, int addressBytes,
                    const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes;
    bytes.push_back(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
    for (int i = addressBytes - 1; i >= 0; --i)
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = {'S', type};
    for (std::uint8_t b : bytes)
        line += {"0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 15]};
    return line;
}

std::string SRecordFile(const std::vector<std::uint8_t>& image, int perRecord) {
    std::string text = SRecord('0', 0, 2, {'f', 'w'}) + "\r\n";
    for (std::size_t at = 0; at < image.size(); at += static_cast<std::size_t>(perRecord)) {
        const auto first = image.begin() + static_cast<long>(at);
        const std::vector<std::uint8_t> data(first, first + perRecord);
        bool erased = true;
        for (std::uint8_t b : data)
            erased = erased && b == 0xFF;
        if (!erased)
            text += SRecord('3', static_cast<std::uint32_t>(at), 4, data) + "\r\n";
    }
    return text + SRecord('7', 0, 4, {}) + "\r\n";
}

std::vector<std::uint8_t> SmallImage() {
    std::vector<std::uint8_t> image(0x200000, 0xFF);
    for (int i = 4; i < 256; ++i)
        image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7);
    image[0] = 0x00, image[1] = 0x5A, image[2] = 0x00, image[3] = 0x00;
    return image;
}

std::vector<std::uint8_t> ScatteredImage() {
    std::vector<std::uint8_t> image = SmallImage();
    std::fill(image.begin() + 128, image.begin() + 256, 0xFF);
    for (std::size_t i = 0x100; i < 0x110; ++i) // part of a block
        image[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0x10000; i < 0x10080; ++i)
        image[i] = static_cast<std::uint8_t>(i * 3);
    for (std::size_t i = 0x1FFF80; i < 0x200000; ++i) // the last block of the flash
        image[i] = static_cast<std::uint8_t>(i ^ 0x55);
    return image;
}

} // namespace quirel::test
