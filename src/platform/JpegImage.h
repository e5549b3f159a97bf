#pragma once

#include <QImage>
#include <string_view>

namespace lotfinch::platform {

// Pictures larger than this on either side are refused rather than decoded.
inline constexpr int MaxJpegSide = 8192;

// Decodes a JPEG picture with libjpeg; a null image for anything that is not
// a whole, decodable JPEG of at most MaxJpegSide pixels a side.
QImage DecodeJpeg(std::string_view data);

} // namespace lotfinch::platform
