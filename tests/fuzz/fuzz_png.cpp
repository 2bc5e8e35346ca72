// Fuzz target: the PNG path through the loader (libpng with the loader's
// transforms, palettes, transparency and gamma) and the conversion of what it
// decodes.
#include "tests/fuzz/fuzz_image_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzimg::Run(ReadPngFile, ImageFilePng, data, size);
}
