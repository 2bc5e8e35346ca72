// A corpus vertex program whose outputs depend on the macros its host
// defines: without them one component of the returned structure is never
// written, which must be reported as such; with the settings that write it
// the program compiles.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "shader/compiler.h"

namespace {

const char kFile[] = "/work/shared/corpus/hlsl/OGRECave__ogre/Samples/Media/materials/programs/depthshadowobject.cg";

struct Result {
    HRESULT hr;
    std::string messages;
};

Result Compile(std::vector<KLMACRO> defines) {
    defines.push_back({nullptr, nullptr});
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShaderFromFileA(kFile, defines.data(), nullptr, "main_vp", "vs_1_1", 0, &code, &errors,
                                                nullptr);
    Result r{hr, errors ? static_cast<const char*>(errors->GetBufferPointer()) : ""};
    if (errors) errors->Release();
    if (code) code->Release();
    return r;
}

TEST(CorpusSettings, UnwrittenOutputComponentDependsOnTheHostMacros) {
    if (!std::filesystem::exists(kFile)) GTEST_SKIP() << "no corpus file " << kFile;
    // diffuseUV.z is written only by the fog variant (which calls a function
    // the corpus does not hold) and by the depth-receiver variant; every
    // other setting returns it unwritten, reported at the return.
    for (const std::vector<KLMACRO>& settings :
         {std::vector<KLMACRO>{}, std::vector<KLMACRO>{{"SHADOWCASTER", "1"}},
          std::vector<KLMACRO>{{"SHADOWCASTER", "1"}, {"DEPTH_SHADOWCASTER", "1"}}}) {
        const Result r = Compile(settings);
        EXPECT_TRUE(FAILED(r.hr));
        EXPECT_NE(r.messages.find(
                      "(107): error X4000: variable 'outp' used without having been completely initialized"),
                  std::string::npos)
            << r.messages;
    }
    const Result fog = Compile({{"FOG", "1"}});
    EXPECT_NE(fog.messages.find("error X3004: undeclared identifier 'linearFog'"), std::string::npos) << fog.messages;
    const Result receiver = Compile({{"DEPTH_SHADOWRECEIVER", "1"}});
    EXPECT_EQ(receiver.hr, S_OK) << receiver.messages;
}

}  // namespace
