// The firmware file: S-record text read into the flash image as the update reads it before the device is
// touched, and each record line cut for the text transfer. Input: the file's bytes.
#include "FuzzSupport.h"

#include "firmware/SRecordReader.h"

#include <sstream>

using namespace quirel::firmware;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One image for every run: erasing 2 MiB each time would cost more than the read.
    static std::vector<std::uint8_t> image = MakeErasedImage();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    const SRecordReport report = ReadSRecordImage(in, image, 0);
    if (image.size() != kFlashImageSize)
        FuzzFail("the flash image changed its size");
    if (!report.ok())
        return 0;
    std::istringstream again(bytes);
    for (std::string line; std::getline(again, line);) {
        if (line.empty() || line[0] != 'S')
            continue;
        int count = 0;
        // An accepted file holds no record whose check fails.
        if (!CheckSRecordLine(line, &count) || count > report.largestCount)
            FuzzFail("an accepted file holds a damaged record");
        (void)line.substr(0, static_cast<std::size_t>(count) * 2 + 4);
    }
    return 0;
}
