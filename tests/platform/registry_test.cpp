#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/registry.h"

namespace {

class RegistryStandIn : public ::testing::Test {
protected:
    void TearDown() override {
        platform::ResetRegistryValues();
        unsetenv("KILN_REG_TestValue");
    }
};

TEST_F(RegistryStandIn, OnlyTheToolkitKeyOpens) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\kiln\\direct3d", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryStandIn, EnvironmentNumbersAreDwords) {
    struct Case {
        const char* text;
        bool isDword;
        DWORD value;
    } cases[] = {
        {"1", true, 1},           {"0", true, 0},           {"0x10", true, 16},
        {"4294967295", true, 0xFFFFFFFFu}, {"4294967296", false, 0}, {"0xFFFFFFFF", true, 0xFFFFFFFFu},
        {"yes", false, 0},        {"", false, 0},           {"-1", false, 0}, {"0x", false, 0},
    };
    for (const auto& c : cases) {
        setenv("KILN_REG_TestValue", c.text, 1);
        DWORD v = 12345;
        EXPECT_EQ(platform::ReadRegistryDword("TestValue", &v), c.isDword) << c.text;
        if (c.isDword) EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST_F(RegistryStandIn, InProcessValuesHideTheEnvironment) {
    setenv("KILN_REG_TestValue", "7", 1);
    DWORD v = 0;
    platform::SetRegistryValue("TestValue", "9");
    ASSERT_TRUE(platform::ReadRegistryDword("TestValue", &v));
    EXPECT_EQ(v, 9u);
    platform::SetRegistryValue("TestValue", std::nullopt);
    EXPECT_FALSE(platform::ReadRegistryDword("TestValue", &v));
    platform::ResetRegistryValues();
    ASSERT_TRUE(platform::ReadRegistryDword("TestValue", &v));
    EXPECT_EQ(v, 7u);
}

TEST_F(RegistryStandIn, QueryReportsTypeSizeAndShortBuffers) {
    platform::SetRegistryValue("TestValue", "text");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKilnDirect3DKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "TestValue", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 5u);
    BYTE small[2];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "TestValue", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

}  // namespace
