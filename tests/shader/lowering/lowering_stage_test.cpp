// The pipeline's entry into the lowering: a parsed job is lowered into the
// generator with the job's log, version and flags.
#include <gtest/gtest.h>

#include "shader/frontend/lowering/lowering_stage.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"

namespace {

HRESULT LowerJob(const char* source, const char* entry, IntermediateProgram* program, std::string* log, bool* errorFlag) {
    Preprocessor pp;
    HRESULT hr = pp.OpenMemory(source, SIZE_MAX, "job.hlsl", nullptr, nullptr);
    if (FAILED(hr)) return hr;
    CompileJob job;
    job.preprocessor = &pp;
    job.entryPoint = entry;
    job.version = 0xFFFE0200;
    job.flags = 0x20;
    hr = ParseStage(job);
    if (SUCCEEDED(hr)) hr = LowerCompileJob(job, *program);
    *errorFlag = job.errorFlag;
    *log = pp.Log().Text();
    ReleaseProgramTree(job);
    return hr;
}

TEST(LoweringStage, LowersTheJobIntoTheGenerator) {
    IntermediateProgram program;
    std::string log;
    bool errorFlag = true;
    EXPECT_EQ(S_OK, LowerJob("float4 vs(float4 p : POSITION) : POSITION { return p * 2; }", "vs", &program, &log,
                             &errorFlag));
    EXPECT_EQ("", log);
    EXPECT_FALSE(errorFlag);
    EXPECT_EQ("vs", program.entryName);
    EXPECT_EQ(0xFFFE0200u, program.version);
    EXPECT_EQ(0x20u, program.flags);
    EXPECT_GT(program.pools.size(), size_t(kStandardPoolCount));
    EXPECT_FALSE(program.instructions.empty());
}

TEST(LoweringStage, MissingEntryAndLoweringErrorsSetTheErrorFlag) {
    IntermediateProgram program;
    std::string log;
    bool errorFlag = false;
    EXPECT_EQ(E_FAIL, LowerJob("float4 vs(float4 p : POSITION) : POSITION { return p; }", "main", &program, &log,
                               &errorFlag));
    EXPECT_EQ("job.hlsl(1): error X3501: 'main': entrypoint not found\n", log);  // where the source ends
    EXPECT_TRUE(errorFlag);
    errorFlag = false;
    EXPECT_EQ(E_FAIL, LowerJob("float4 vs(float4 p) : POSITION { return p; }", "vs", &program, &log, &errorFlag));
    EXPECT_EQ("job.hlsl(1): error X3502: 'vs': input parameter 'p' missing semantics\n", log);
    EXPECT_TRUE(errorFlag);
    CompileJob empty;
    EXPECT_EQ(D3DERR_INVALIDCALL, LowerCompileJob(empty, program));
}

}  // namespace
