// Fuzz target: the bitmap decoders (file form and bare DIB) and the conversion
// of what they decode.
#include "tests/fuzz/fuzz_image_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzimg::Run(ReadBmpFile, ImageFileBmp, data, size);
    return fuzzimg::Run(ReadDibData, ImageFileDib, data, size);
}
