// JPEG through libjpeg, from memory: grey images to L8, colour to X8R8G8B8.
#include <cstdio>
#include <csetjmp>
#include <cstring>

#include <jpeglib.h>

#include "math/klmath.h"
#include "texture/decoders/source_image.h"

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void OnFatal(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }
// Messages are never shown.
void OnMessage(j_common_ptr) {}

// Memory source: the first fill hands over the whole buffer. A stream that
// asks for more is truncated: it gets an end-of-image marker so that the
// library stops, and the decoder then fails.
struct MemorySource {
    jpeg_source_mgr base;
    const BYTE* data;
    size_t size;
    bool started;
    bool truncated;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    MemorySource* src = reinterpret_cast<MemorySource*>(cinfo->src);
    if (!src->started) {
        src->started = true;
        src->base.next_input_byte = src->data;
        src->base.bytes_in_buffer = src->size;
    } else {
        src->truncated = true;
        src->base.next_input_byte = kEndOfImage;
        src->base.bytes_in_buffer = 2;
    }
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* src = cinfo->src;
    size_t n = static_cast<size_t>(count);
    while (n > src->bytes_in_buffer) {
        n -= src->bytes_in_buffer;
        src->bytes_in_buffer = 0;
        FillInput(cinfo);
        if (reinterpret_cast<MemorySource*>(src)->truncated) return;
    }
    src->next_input_byte += n;
    src->bytes_in_buffer -= n;
}

struct JpegState {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    bool created = false;
    ~JpegState() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

HRESULT Decode(JpegState& s, SourceImage* image, const BYTE* data, size_t size) {
    if (setjmp(s.err.jump)) return E_FAIL;
    jpeg_create_decompress(&s.cinfo);
    s.created = true;
    MemorySource* src = static_cast<MemorySource*>(
        (*s.cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&s.cinfo), JPOOL_PERMANENT, sizeof(MemorySource)));
    src->base.init_source = InitSource;
    src->base.fill_input_buffer = FillInput;
    src->base.skip_input_data = SkipInput;
    src->base.resync_to_restart = jpeg_resync_to_restart;
    src->base.term_source = TermSource;
    src->base.next_input_byte = nullptr;
    src->base.bytes_in_buffer = 0;
    src->data = data;
    src->size = size;
    src->started = false;
    src->truncated = false;
    s.cinfo.src = &src->base;

    if (jpeg_read_header(&s.cinfo, TRUE) != JPEG_HEADER_OK) return E_FAIL;
    if (!MmxAvailable()) s.cinfo.dct_method = JDCT_IFAST;
    if (!jpeg_start_decompress(&s.cinfo)) return E_FAIL;
    const uint32_t width = s.cinfo.output_width, height = s.cinfo.output_height;
    const int components = s.cinfo.output_components;
    if (width == 0 || height == 0) return E_FAIL;
    if (components != 1 && components != 3) return E_FAIL;
    const size_t pitch = components == 1 ? width : size_t{4} * width;
    size_t total;
    if (!ImageBytes(pitch, height, &total)) return E_FAIL;
    // An 8x8 block costs at least a couple of bits, so no stream decodes to
    // more than a few thousand bytes per input byte; larger claims are refused.
    if (total / 4096 > size) return E_FAIL;
    image->format = components == 1 ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = static_cast<UINT>(pitch);
    image->slicePitch = 0;
    if (!image->loadPixels) return S_OK;

    BYTE* pixels = AllocateImageBytes(total);
    if (!pixels) return E_OUTOFMEMORY;
    image->pixels = pixels;
    image->ownsPixels = true;
    JSAMPARRAY sample = (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo), JPOOL_IMAGE,
                                                      width * components, 1);
    for (uint32_t y = 0; y < height; ++y) {
        if (jpeg_read_scanlines(&s.cinfo, sample, 1) != 1) return E_FAIL;
        BYTE* row = pixels + y * pitch;
        if (components == 1) {
            std::memcpy(row, sample[0], width);
        } else {
            const JSAMPLE* in = sample[0];
            for (uint32_t x = 0; x < width; ++x, in += 3) {
                const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
                std::memcpy(row + 4 * x, &v, 4);
            }
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    return src->truncated ? E_FAIL : S_OK;
}

}  // namespace

HRESULT ReadJpegFile(SourceImage* image, const BYTE* data, size_t size) {
    if (!data || size == 0) return E_FAIL;
    JpegState state;
    state.cinfo.err = jpeg_std_error(&state.err.base);
    state.err.base.error_exit = OnFatal;
    state.err.base.output_message = OnMessage;
    return Decode(state, image, data, size);
}
