// Fuzz target: the TGA decoder and the conversion of what it decodes.
#include "tests/fuzz/fuzz_image_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzimg::Run(ReadTgaFile, ImageFileTga, data, size);
}
