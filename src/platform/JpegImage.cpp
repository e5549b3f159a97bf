#include "platform/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace lotfinch::platform {

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

// libjpeg's default handler ends the process; this one returns to DecodeJpeg.
void failed(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->escape, 1);
}

void noMessage(j_common_ptr)
{}

// The decode itself, with nothing here that needs destroying when libjpeg
// jumps out of it: the image lives in the caller.
bool decodeInto(const unsigned char *data, unsigned long size, QImage &image)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = failed;
    errors.base.output_message = noMessage;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 || info.image_height == 0 ||
        info.image_width > MaxJpegSide || info.image_height > MaxJpegSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QImage DecodeJpeg(std::string_view data)
{
    QImage image;
    if (data.empty() || !decodeInto(reinterpret_cast<const unsigned char *>(data.data()),
                                    static_cast<unsigned long>(data.size()), image))
        return QImage();
    return image;
}

} // namespace lotfinch::platform
