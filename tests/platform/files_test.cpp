#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace {

std::string TempPath(const char* name) { return std::string("/tmp/kiln_files_test_") + std::to_string(getpid()) + name; }

TEST(MappedFileOpen, ReadsWholeFile) {
    std::string path = TempPath("data");
    { std::ofstream(path, std::ios::binary) << "hello\0world"; }
    platform::MappedFile f;
    ASSERT_EQ(f.Open(path.c_str()), S_OK);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.data()), f.size()), "hello");
    platform::MappedFile moved = std::move(f);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(moved.size(), 5u);
    std::remove(path.c_str());
}

TEST(MappedFileOpen, FailuresAreResultsNotCrashes) {
    platform::MappedFile f;
    EXPECT_EQ(f.Open(nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Open(""), E_INVALIDARG);
    EXPECT_EQ(f.Open("/nonexistent/dir/file.txt"), D3DERR_NOTFOUND);
    EXPECT_EQ(f.Open("/tmp"), ERR_INVALID_DATA);        // a directory
    EXPECT_EQ(f.Open("/dev/null"), ERR_INVALID_DATA);   // a device
    EXPECT_FALSE(f.IsOpen());
}

TEST(MappedFileOpen, EmptyFileHasNonNullData) {
    std::string path = TempPath("empty");
    { std::ofstream out(path); }
    platform::MappedFile f;
    ASSERT_EQ(f.Open(path.c_str()), S_OK);
    EXPECT_EQ(f.size(), 0u);
    EXPECT_NE(f.data(), nullptr);
    std::remove(path.c_str());
}

TEST(MappedFileOpen, UnreadableFileFails) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    std::string path = TempPath("locked");
    { std::ofstream(path) << "x"; }
    chmod(path.c_str(), 0);
    platform::MappedFile f;
    EXPECT_EQ(f.Open(path.c_str()), E_FAIL);
    std::remove(path.c_str());
}

TEST(FullPath, NormalisesDotsAndResolvesRelative) {
    std::string full;
    ASSERT_EQ(platform::GetFullPath("/a/./b/../c", &full), S_OK);
    EXPECT_EQ(full, "/a/c");
    ASSERT_EQ(platform::GetFullPath("/../..", &full), S_OK);
    EXPECT_EQ(full, "/");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(platform::GetFullPath("x/y.hlsl", &full), S_OK);
    EXPECT_EQ(full, std::string(cwd) + "/x/y.hlsl");
    EXPECT_EQ(platform::GetFullPath("", &full), E_INVALIDARG);
    EXPECT_EQ(platform::GetFullPath(nullptr, &full), E_INVALIDARG);
}

TEST(FullPath, DirectoryOfKeepsSeparator) {
    EXPECT_EQ(platform::DirectoryOf("/a/b/c.fx"), "/a/b/");
    EXPECT_EQ(platform::DirectoryOf("c.fx"), "");
    EXPECT_EQ(platform::DirectoryOf("dir\\c.fx"), "dir\\");
}

TEST(WideToUtf8, EncodesEveryLengthAndReplacesInvalid) {
    EXPECT_EQ(platform::WideToUtf8(L"abc"), "abc");
    EXPECT_EQ(platform::WideToUtf8(L"\u00e9"), "\xc3\xa9");
    EXPECT_EQ(platform::WideToUtf8(L"\u20ac"), "\xe2\x82\xac");
    EXPECT_EQ(platform::WideToUtf8(L"\U0001F525"), "\xf0\x9f\x94\xa5");
    const wchar_t bad[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(platform::WideToUtf8(bad), "\xef\xbf\xbd\xef\xbf\xbd");
    EXPECT_EQ(platform::WideToUtf8(nullptr), "");
}

}  // namespace
