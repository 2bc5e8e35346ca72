// JPEG writer through libjpeg: X8R8G8B8 rows packed to RGB scanlines and
// compressed with the library's default quality into a file through a
// 4096-byte buffer.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "texture/decoders/image_writer.h"

namespace {

constexpr size_t kBufferSize = 4096;

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void OnFatal(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }
// Warnings are never shown.
void OnMessage(j_common_ptr) {}

// File destination: the full buffer goes out whenever it fills, the used part
// at the end. A failed write stops the compressor through the fatal hook.
struct FileDestination {
    jpeg_destination_mgr base;
    std::FILE* file;
    JOCTET buffer[kBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
    FileDestination* dst = reinterpret_cast<FileDestination*>(cinfo->dest);
    dst->base.next_output_byte = dst->buffer;
    dst->base.free_in_buffer = kBufferSize;
}

// A write the file refuses ends the compression through the fatal hook.
void FailWrite(j_compress_ptr cinfo) { cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo)); }

boolean EmptyBuffer(j_compress_ptr cinfo) {
    FileDestination* dst = reinterpret_cast<FileDestination*>(cinfo->dest);
    if (std::fwrite(dst->buffer, 1, kBufferSize, dst->file) != kBufferSize) FailWrite(cinfo);
    dst->base.next_output_byte = dst->buffer;
    dst->base.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    FileDestination* dst = reinterpret_cast<FileDestination*>(cinfo->dest);
    const size_t used = kBufferSize - dst->base.free_in_buffer;
    if (used > 0 && std::fwrite(dst->buffer, 1, used, dst->file) != used) FailWrite(cinfo);
}

// Packs one X8R8G8B8 row (bytes blue, green, red, unused) into red, green, blue.
void PackRow(const BYTE* in, uint32_t width, JSAMPLE* out) {
    for (uint32_t x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

}  // namespace

HRESULT WriteJpeg(std::FILE* file, const SourceImage& node) {
    if (node.format != D3DFMT_X8R8G8B8) return E_FAIL;
    const uint32_t width = node.box.Width(), height = node.box.Height();
    // The longest side a baseline JPEG can declare.
    if (width == 0 || height == 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return E_FAIL;
    // Everything the error path must free is made before the jump point, so
    // that a fatal error skips no destructor.
    JSAMPLE* row = static_cast<JSAMPLE*>(std::malloc(size_t{width} * 3));
    FileDestination* dest = static_cast<FileDestination*>(std::malloc(sizeof(FileDestination)));
    if (!row || !dest) {
        std::free(row);
        std::free(dest);
        return E_OUTOFMEMORY;
    }
    jpeg_compress_struct cinfo = {};
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnFatal;
    errors.base.output_message = OnMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(row);
        std::free(dest);
        return E_FAIL;
    }
    jpeg_create_compress(&cinfo);
    dest->base.init_destination = InitDestination;
    dest->base.empty_output_buffer = EmptyBuffer;
    dest->base.term_destination = TermDestination;
    dest->file = file;
    cinfo.dest = &dest->base;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.input_gamma = 2.2;
    jpeg_start_compress(&cinfo, TRUE);
    for (uint32_t y = 0; y < height; ++y) {
        PackRow(NodeStorageRow(node, y, 0), width, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(row);
    std::free(dest);
    return S_OK;
}
