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

TEST(ModuleTable, HandlesStayValidWhenAResourceIsReplacedOrRemoved) {
    const char first[] = "first";
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "kept", first, 5);
    HRSRC old = FindResourceA(nullptr, "kept", RT_RCDATA);
    ASSERT_NE(old, nullptr);
    const char* oldBytes = static_cast<const char*>(LockResource(LoadResource(nullptr, old)));
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "kept", "second", 6);
    platform::RemoveModuleResource(nullptr, RT_RCDATA, "kept");
    EXPECT_EQ(std::string(oldBytes, 5), "first") << "the held pointer still reads the old bytes";
    EXPECT_EQ(SizeofResource(nullptr, old), 5u);
    EXPECT_EQ(FindResourceA(nullptr, "kept", RT_RCDATA), nullptr);

    // Nonsense registrations are ignored rather than crashing.
    platform::RegisterModuleResource(nullptr, RT_RCDATA, "bad", nullptr, 10);
    EXPECT_EQ(FindResourceA(nullptr, "bad", RT_RCDATA), nullptr);
    platform::RegisterModuleResource(nullptr, nullptr, "bad", first, 5);
    platform::RegisterModuleExport(nullptr, "Answer", nullptr);
    platform::RemoveModuleResource(nullptr, RT_RCDATA, nullptr);
}

}  // namespace
