#include <gtest/gtest.h>

#include <string>

#include "platform/modules.h"

namespace {

int ExportedAnswer() { return 42; }

TEST(ModuleTable, ExportsAreFoundByModuleAndName) {
    EXPECT_EQ(GetModuleHandleA("kilntest.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA("kilntest.dll"), nullptr);
    platform::RegisterModuleExport("KilnTest.dll", "Answer", reinterpret_cast<FARPROC>(&ExportedAnswer));
    HMODULE m = GetModuleHandleA("kilntest.DLL");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(LoadLibraryA("kilntest.dll"), m);
    auto fn = reinterpret_cast<int (*)()>(GetProcAddress(m, "Answer"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);
    EXPECT_EQ(GetProcAddress(m, "answer"), nullptr);  // export names are case-sensitive
    EXPECT_EQ(GetProcAddress(nullptr, "Answer"), nullptr);
}

TEST(ModuleTable, ResourcesByStringAndIntegerNames) {
    const char text[] = "float4 main() : COLOR { return 1; }";
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "Shader.fx", text, sizeof text - 1);
    HRSRC r = FindResourceA(nullptr, "shader.FX", RT_RCDATA);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, r), sizeof text - 1);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, r)));
    EXPECT_EQ(std::string(bytes, sizeof text - 1), text);
    EXPECT_EQ(FindResourceA(nullptr, "Shader.fx", RT_BITMAP), nullptr);
    EXPECT_NE(FindResourceW(nullptr, L"SHADER.fx", RT_RCDATAW), nullptr);

    const BYTE bmp[] = {1, 2, 3};
    platform::RegisterModuleResource(GetModuleHandleA(nullptr), RT_BITMAP, MAKEINTRESOURCEA(101), bmp, 3);
    HRSRC b = FindResourceA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(101), RT_BITMAP);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SizeofResource(nullptr, b), 3u);
    platform::RemoveModuleResource(nullptr, RT_BITMAP, MAKEINTRESOURCEA(101));
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_BITMAP), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, nullptr, RT_BITMAP), nullptr);
}

}  // namespace
