// Any bytes as a JPEG picture: decoding must end without fault, and a picture
// that decodes stays within the size limit.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/JpegImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QImage image = lotfinch::platform::DecodeJpeg(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!image.isNull() &&
        (image.width() > lotfinch::platform::MaxJpegSide || image.height() > lotfinch::platform::MaxJpegSide))
        std::abort();
    return 0;
}
