// Fuzz target: the JPEG path through the loader (libjpeg from memory, grey and
// colour, truncated streams) and the conversion of what it decodes.
#include "tests/fuzz/fuzz_image_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzimg::Run(ReadJpegFile, ImageFileJpg, data, size);
}
