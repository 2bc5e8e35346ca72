// kiln check: parses and checks a file; exit 0 when clean, 1 with the
// messages on standard error otherwise.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tool_runner.h"

namespace {

// A scratch folder with files written by the test.
class Scratch {
public:
    Scratch() {
        char name[] = "/tmp/kiln_check_XXXXXX";
        dir_ = mkdtemp(name) ? name : "/tmp";
    }
    ~Scratch() {
        for (const std::string& f : files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        files_.push_back(path);
        return path;
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    std::vector<std::string> files_;
};

TEST(KilnCheck, CleanFileExitsZeroWithoutMessages) {
    Scratch s;
    std::string file = s.Write("ok.hlsl", "float4 main(float4 p : POSITION) : POSITION { return p; }\n");
    ToolResult r = RunKiln({"check", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST(KilnCheck, ErrorsGoToStandardErrorAndFail) {
    Scratch s;
    std::string file = s.Write("bad.hlsl", "float4 main() : COLOR\n{\n  return missing;\n}\n");
    ToolResult r = RunKiln({"check", file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bad.hlsl(3): error X3004: undeclared identifier 'missing'"), std::string::npos) << r.err;
}

TEST(KilnCheck, WarningsAloneStillPass) {
    Scratch s;
    std::string file = s.Write("warn.fx", "technique t { pass p { ZEnable = 1, 2; } }\n");
    ToolResult r = RunKiln({"check", file});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("warning X3081"), std::string::npos);
}

TEST(KilnCheck, MacrosAndIncludeDirectories) {
    Scratch s;
    s.Write("common.h", "float4 Tint() { return TINT; }\n");
    std::string file = s.Write("uses.hlsl", "#include \"common.h\"\nfloat4 main() : COLOR { return Tint() * SCALE; }\n");
    // The include lies beside the file; the macros come from the command line.
    EXPECT_EQ(RunKiln({"check", file, "-D", "TINT=float4(1,0,0,1)", "-DSCALE=2"}).exitCode, 0);
    EXPECT_EQ(RunKiln({"check", file, "-D", "TINT=float4(1,0,0,1)"}).exitCode, 1);
    // An include found only through -I.
    std::string other = s.Write("other.hlsl", "#include \"nested.h\"\nfloat4 main() : COLOR { return N; }\n");
    std::string sub = s.Dir() + "/inc";
    mkdir(sub.c_str(), 0755);
    std::ofstream(sub + "/nested.h") << "static const float4 N = 1;\n";
    EXPECT_EQ(RunKiln({"check", other}).exitCode, 1);
    ToolResult r = RunKiln({"check", other, "-I", sub});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::remove((sub + "/nested.h").c_str());
    rmdir(sub.c_str());
}

TEST(KilnCheck, UsageErrors) {
    EXPECT_EQ(RunKiln({"check"}).exitCode, 2);
    EXPECT_EQ(RunKiln({"check", "a.hlsl", "b.hlsl"}).exitCode, 2);
    EXPECT_EQ(RunKiln({"check", "--bogus", "a.hlsl"}).exitCode, 2);
    ToolResult help = RunKiln({"check", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: kiln check FILE"), std::string::npos);
    ToolResult missing = RunKiln({"check", "/nonexistent/x.hlsl"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("error X1507: failed to open source file: '/nonexistent/x.hlsl'"), std::string::npos);
}

}  // namespace
