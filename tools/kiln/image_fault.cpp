#include "image_fault.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <jpeglib.h>

#include "texture/decoders/source_image.h"

namespace {

// Image files larger than this are not read: no image the loader accepts
// needs more bytes than its largest decoded buffer.
constexpr uint64_t kMaxFileBytes = kMaxImageBytes;

bool StartsWith(const std::vector<uint8_t>& b, const char* sig, size_t n) {
    return b.size() >= n && std::memcmp(b.data(), sig, n) == 0;
}

// libpng's message for the first fault, reading the whole image when the
// header is fine and the decoded size stays within the loader's bound.
std::string PngFault(const std::vector<uint8_t>& bytes) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return image.message;
    image.format = PNG_FORMAT_RGBA;
    const uint64_t size = uint64_t(image.width) * image.height * 4;
    if (size > kMaxImageBytes) {
        png_image_free(&image);
        return std::to_string(image.width) + " x " + std::to_string(image.height) +
               " pixels decode to more than the loader's bound of " + std::to_string(kMaxImageBytes >> 20) + " MiB";
    }
    std::vector<uint8_t> pixels(size);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return image.message;
    return "";
}

struct JpegErrors {
    jpeg_error_mgr base;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFatal(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    info->err->format_message(info, errors->message);
    longjmp(errors->jump, 1);
}

// Reads the JPEG to its end; its first warning (a truncated stream is one)
// or its fatal error, as libjpeg words it.
std::string JpegFault(const std::vector<uint8_t>& bytes) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    errors.message[0] = 0;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = JpegFatal;
    errors.base.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return errors.message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<JSAMPLE> row(size_t(info.output_width) * info.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height && errors.base.num_warnings == 0)
        jpeg_read_scanlines(&info, rows, 1);
    std::string fault;
    if (errors.base.num_warnings) {
        char text[JMSG_LENGTH_MAX];
        errors.base.format_message(reinterpret_cast<j_common_ptr>(&info), text);
        fault = text;
    }
    jpeg_destroy_decompress(&info);
    return fault;
}

}  // namespace

bool ReadImageBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = errno ? std::strerror(errno) : "cannot open the file";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        *error = "cannot read the file (is it a directory?)";
        return false;
    }
    if (uint64_t(size) > kMaxFileBytes) {
        *error = "the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return false;
    }
    if (size == 0) {
        *error = "the file is empty";
        return false;
    }
    in.seekg(0);
    bytes->resize(size_t(size));
    if (!in.read(reinterpret_cast<char*>(bytes->data()), size)) {
        *error = "cannot read the file";
        return false;
    }
    return true;
}

std::string SignatureKind(const std::vector<uint8_t>& b) {
    if (StartsWith(b, "\x89PNG\r\n\x1a\n", 8)) return "PNG";
    if (StartsWith(b, "\xFF\xD8\xFF", 3)) return "JPEG";
    if (StartsWith(b, "BM", 2)) return "BMP";
    if (StartsWith(b, "DDS ", 4)) return "DDS";
    if (b.size() >= 2 && b[0] == 'P' && b[1] >= '1' && b[1] <= '6') return "PPM";
    return "";
}

std::string DescribeImageFault(const std::vector<uint8_t>& bytes, const std::string& headerKind) {
    const std::string kind = headerKind.empty() ? SignatureKind(bytes) : headerKind;
    std::string fault;
    if (kind == "PNG") fault = PngFault(bytes);
    if (kind == "JPEG") fault = JpegFault(bytes);
    if (!fault.empty()) return "a " + kind + " file the loader cannot read: " + fault;
    if (!headerKind.empty()) return "a " + kind + " file whose pixel data is truncated or malformed";
    if (kind.empty()) return "not an image the loader reads (no PNG, JPEG, BMP, TGA, DDS or PPM header)";
    return "a " + kind + " file whose header the loader refuses (a zero, over-large or inconsistent field)";
}
