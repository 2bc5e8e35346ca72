// The compile entry points: argument checks and their result codes, profile
// resolution, the error buffer, sources from files, memory and resources, and
// the numeric environment put back after a compile.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fpu_control.h>
#include <string>

#include "platform/modules.h"
#include "shader/compiler.h"

namespace {

struct Result {
    HRESULT hr;
    std::string errors;  // "<null>" when no buffer came back
    bool code;
};

Result Compile(const char* source, const char* entry, const char* profile, DWORD flags = 0, bool withCode = true) {
    IKLBuffer* code = reinterpret_cast<IKLBuffer*>(8);
    IKLBuffer* errors = reinterpret_cast<IKLBuffer*>(8);
    HRESULT hr = KLCompileShader(source, UINT32_MAX, nullptr, nullptr, entry, profile, flags,
                                 withCode ? &code : nullptr, &errors, nullptr);
    Result r{hr, "<null>", withCode && code != nullptr};
    if (errors) {
        r.errors = static_cast<const char*>(errors->GetBufferPointer());
        errors->Release();
    }
    if (withCode && code) code->Release();
    return r;
}

const char kShader[] = "float4 main(float4 p : POSITION) : POSITION { return p; }\n";

TEST(CompileEntry, ArgumentFailures) {
    struct Row {
        const char* entry;
        const char* profile;
        DWORD flags;
        bool withCode;
        HRESULT hr;
        const char* errors;
    };
    const Row rows[] = {
        {nullptr, "vs_2_0", 0, true, D3DERR_INVALIDCALL, "<null>"},
        {"main", "vs_2_0", 0, false, D3DERR_INVALIDCALL, "<null>"},
        {"main", "vs_2_0", 0x02, true, D3DERR_INVALIDCALL, "<null>"},
        {"main", "vs_2_0", 0x40, true, D3DERR_INVALIDCALL, "<null>"},
        {"main", "vs_2_0", 0x80000000, true, D3DERR_INVALIDCALL, "<null>"},
        {"main", "VS_2_0", 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target 'VS_2_0'\n"},
        {"main", "vs_4_0", 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target 'vs_4_0'\n"},
        {"main", "ps_2_c", 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target 'ps_2_c'\n"},
        {"main", "ps", 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target 'ps'\n"},
        {"main", "tx_1_0", 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target 'tx_1_0'\n"},
        {"main", nullptr, 0, true, D3DERR_INVALIDCALL, "error X3506: unrecognized compiler target ''\n"},
    };
    for (const Row& r : rows) {
        Result got = Compile(kShader, r.entry, r.profile, r.flags, r.withCode);
        EXPECT_EQ(got.hr, r.hr) << (r.profile ? r.profile : "null") << " flags " << r.flags;
        EXPECT_EQ(got.errors, r.errors) << (r.profile ? r.profile : "null");
        EXPECT_FALSE(got.code);
    }
}

TEST(CompileEntry, PreprocessorFailuresComeBackWithTheirMessages) {
    Result fatal = Compile("#error stop here\n", "main", "vs_2_0");
    EXPECT_EQ(fatal.hr, E_FAIL);
    EXPECT_EQ(fatal.errors, "(1): error: stop here\n");
    Result include = Compile("#include \"a.h\"\n", "main", "vs_2_0");
    EXPECT_EQ(include.hr, E_FAIL);
    EXPECT_EQ(include.errors,
              "(1): error X1505: include interface required to support #include from resource or memory\n");
}

TEST(CompileEntry, RemappedProfilesWarnAfterParsing) {
    for (const char* profile : {"vs_1_0", "vs.1.0", "ps_1_0"}) {
        Result r = Compile("#pragma warning(error : 9999)\n", "main", profile);
        bool vertex = profile[0] == 'v';
        std::string warning = vertex ? "warning X3505: vs_1_0 is no longer supported; using vs_1_1\n"
                                     : "warning X3505: ps_1_0 is no longer supported; using ps_1_1\n";
        EXPECT_NE(r.errors.find(warning), std::string::npos) << profile << ": " << r.errors;
    }
    Result promoted = Compile("#pragma warning(error : 3505)\n", "main", "vs_1_0");
    EXPECT_NE(promoted.errors.find("error X3505: vs_1_0 is no longer supported; using vs_1_1\n"), std::string::npos)
        << promoted.errors;
    EXPECT_TRUE(FAILED(promoted.hr));
    Result quiet = Compile("#pragma warning(disable : 3505)\n", "main", "vs_1_0");
    EXPECT_EQ(quiet.errors.find("X3505"), std::string::npos) << quiet.errors;
}

std::string CodeOf(const char* source, const char* profile) {
    IKLBuffer* code = nullptr;
    HRESULT hr = KLCompileShader(source, UINT32_MAX, nullptr, nullptr, "main", profile, 0, &code, nullptr, nullptr);
    if (FAILED(hr) || !code) return "failed";
    std::string bytes(static_cast<const char*>(code->GetBufferPointer()), code->GetBufferSize());
    code->Release();
    return bytes;
}

TEST(CompileEntry, WholeCompileResults) {
    Result warned = Compile(kShader, "main", "vs_1_0");
    EXPECT_EQ(warned.hr, S_OK);
    EXPECT_TRUE(warned.code);
    EXPECT_EQ(warned.errors, "warning X3505: vs_1_0 is no longer supported; using vs_1_1\n");

    std::string promoted = std::string("#pragma warning(error : 3505)\n") + kShader;
    Result failed = Compile(promoted.c_str(), "main", "vs_1_0");
    EXPECT_EQ(failed.hr, ERR_INVALID_DATA);
    EXPECT_FALSE(failed.code);
    EXPECT_EQ(failed.errors, "error X3505: vs_1_0 is no longer supported; using vs_1_1\n");

    Result clean = Compile(kShader, "main", "vs_2_0");
    EXPECT_EQ(clean.hr, S_OK);
    EXPECT_EQ(clean.errors, "<null>");
    EXPECT_NE(CodeOf(kShader, "vs_2_0"), "failed");
    EXPECT_EQ(CodeOf(kShader, "vs_2_0"), CodeOf(kShader, "vs.2.0"));

    Result noEntry = Compile(kShader, "other", "vs_2_0");
    EXPECT_EQ(noEntry.hr, E_FAIL);
    EXPECT_EQ(noEntry.errors, "error X3501: 'other': entrypoint not found\n");
}

TEST(CompileEntry, MissingFileNamedAsGiven) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    HRESULT hr = KLCompileShaderFromFileA("no/such/file.vhl", nullptr, nullptr, "vs_main", "vs_2_0", 0, &code,
                                          &errors, nullptr);
    EXPECT_EQ(hr, ERR_INVALID_DATA);
    EXPECT_EQ(code, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "error X1507: failed to open source file: 'no/such/file.vhl'\n");
    errors->Release();

    hr = KLCompileShaderFromFileW(L"no/such/wide\u00e9.vhl", nullptr, nullptr, "vs_main", "vs_2_0", 0, &code,
                                  &errors, nullptr);
    EXPECT_EQ(hr, ERR_INVALID_DATA);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "error X1507: failed to open source file: 'no/such/wide\xC3\xA9.vhl'\n");
    errors->Release();
    EXPECT_EQ(KLCompileShaderFromFileA(nullptr, nullptr, nullptr, "m", "vs_2_0", 0, &code, nullptr, nullptr),
              D3DERR_INVALIDCALL);
}

TEST(CompileEntry, MemoryAndResourceSources) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    EXPECT_EQ(KLCompileShader(nullptr, 10, nullptr, nullptr, "main", "vs_2_0", 0, &code, &errors, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(errors, nullptr);

    EXPECT_EQ(KLCompileShaderFromResourceA(nullptr, "missing_resource", nullptr, nullptr, "main", "vs_2_0", 0, &code,
                                           &errors, nullptr),
              ERR_INVALID_DATA);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()), "error X1512: failed to open resource\n");
    errors->Release();

    const char text[] = "#error from the resource\n";
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "shader_resource", text, sizeof text - 1);
    EXPECT_EQ(KLCompileShaderFromResourceA(nullptr, "shader_resource", nullptr, nullptr, "main", "vs_2_0", 0, &code,
                                           &errors, nullptr),
              E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "shader_resource(1): error: from the resource\n");
    errors->Release();
    EXPECT_EQ(KLCompileShaderFromResourceW(nullptr, L"shader_resource", nullptr, nullptr, "main", "vs_2_0", 0, &code,
                                           &errors, nullptr),
              E_FAIL);
    if (errors) errors->Release();
    platform::RemoveModuleResource(nullptr, RT_RCDATA, "shader_resource");
}

TEST(CompileEntry, AssemblerFrontSharesTheSourceHandling) {
    IKLBuffer* code = reinterpret_cast<IKLBuffer*>(8);
    IKLBuffer* errors = nullptr;
    HRESULT hr = KLAssembleShaderFromFileA("missing.asm", nullptr, nullptr, 0, &code, &errors);
    EXPECT_EQ(hr, ERR_INVALID_DATA);
    EXPECT_EQ(code, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(static_cast<const char*>(errors->GetBufferPointer()),
                 "error X1507: failed to open source file: 'missing.asm'\n");
    errors->Release();
    EXPECT_EQ(KLAssembleShader(nullptr, 3, nullptr, nullptr, 0, &code, &errors), D3DERR_INVALIDCALL);
}

TEST(CompileEntry, NumericLocaleAndPrecisionArePutBack) {
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
    fpu_control_t before;
    _FPU_GETCW(before);
    fpu_control_t single = (before & ~static_cast<fpu_control_t>(_FPU_EXTENDED)) | _FPU_SINGLE;
    _FPU_SETCW(single);
    Compile("float f = 1.5;\n", "main", "vs_2_0");
    fpu_control_t after;
    _FPU_GETCW(after);
    _FPU_SETCW(before);
    EXPECT_EQ(after, single);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C.UTF-8");
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
