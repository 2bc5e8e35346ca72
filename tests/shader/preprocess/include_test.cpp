// #include: the include handler, files on disk resolved against the including
// file's directory, the nesting limit and the fatal failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "pp_test_util.h"

namespace {

namespace fs = std::filesystem;

// A chain of `depth` files: level i includes level i + 1; the last holds "leaf".
void AddChain(MapInclude& include, int depth) {
    for (int i = 1; i <= depth; ++i) {
        std::string body = "l" + std::to_string(i) + "\n";
        if (i < depth) body += "#include \"f" + std::to_string(i + 1) + ".h\"\n";
        else body += "leaf\n";
        include.files["f" + std::to_string(i) + ".h"] = body;
    }
}

TEST(Include, ThirtyOneNestedIncludesWorkAndTheThirtySecondFails) {
    MapInclude ok;
    AddChain(ok, 31);
    PpRun r = Preprocess("#include \"f1.h\"\nend", nullptr, &ok);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.log, "");
    EXPECT_NE(r.tokens.find("l31 leaf end"), std::string::npos) << r.tokens;
    EXPECT_EQ(ok.opens, 31);
    EXPECT_EQ(ok.closes, 31);

    MapInclude deep;
    AddChain(deep, 32);
    r = Preprocess("#include \"f1.h\"\nend", nullptr, &deep);
    EXPECT_EQ(r.hr, E_FAIL);
    EXPECT_EQ(r.log, "f31.h(2): error X1506: too many nested #includes\n");
    EXPECT_EQ(r.tokens.find("end"), std::string::npos);
    EXPECT_EQ(deep.opens, 31);
    EXPECT_EQ(deep.closes, 31);  // every open input is given back at teardown
}

TEST(Include, HandlerGetsTypeAndParentData) {
    MapInclude include;
    include.files["a.h"] = "#include <b.h>\na";
    include.files["b.h"] = "b";
    PpRun r = Preprocess("#include \"a.h\"\nx", nullptr, &include);
    EXPECT_EQ(r.tokens, "b a x");
    EXPECT_EQ(include.lastName, "b.h");
    EXPECT_EQ(include.lastParent, include.files["a.h"].data());
}

TEST(Include, FailuresAreFatal) {
    MapInclude include;
    PpRun missing = Preprocess("a\n#include \"none.h\"\nb", nullptr, &include);
    EXPECT_EQ(missing.hr, E_FAIL);
    EXPECT_EQ(missing.tokens, "a");
    EXPECT_EQ(missing.log, "t.fx(2): error X1507: failed to open source file: 'none.h'\n");

    PpRun memory = Preprocess("#include \"x.h\"\nb");
    EXPECT_EQ(memory.hr, E_FAIL);
    EXPECT_EQ(memory.log, "t.fx(1): error X1505: include interface required to support #include from resource or memory\n");

    PpRun skipped = Preprocess("#if 0\n#include \"x.h\"\n#endif\nb");
    EXPECT_EQ(skipped.hr, S_OK);
    EXPECT_EQ(skipped.tokens, "b");
}

class DiskInclude : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("kiln_include_" + std::to_string(::getpid()));
        fs::create_directories(root_ / "sub");
    }
    void TearDown() override { fs::remove_all(root_); }
    void Write(const std::string& name, const std::string& text) { std::ofstream(root_ / name) << text; }
    PpRun Run(const std::string& name) {
        PpRun run;
        Preprocessor pp;
        run.hr = pp.OpenFile((root_ / name).string().c_str(), nullptr, nullptr);
        if (SUCCEEDED(run.hr)) {
            pp.Begin(kModeHlsl);
            for (Token t; SUCCEEDED(run.hr = pp.NextToken(&t)) && t.kind != TokenKind::EndOfFile;) {
                if (t.kind == TokenKind::EndOfLine) continue;
                if (!run.tokens.empty()) run.tokens += ' ';
                run.tokens += TokenSpelling(t);
            }
        }
        run.log = pp.Log().Text();
        return run;
    }
    fs::path root_;
};

TEST_F(DiskInclude, NamesResolveAgainstTheIncludingFile) {
    Write("main.fx", "#include \"sub/a.h\"\nmain __FILE__");
    Write("sub/a.h", "#include <b.h>\na");
    Write("sub/b.h", "b");
    Write("b.h", "wrong");
    PpRun r = Run("main.fx");
    EXPECT_EQ(r.log, "");
    std::string mainPath = (root_ / "main.fx").string();
    EXPECT_EQ(r.tokens, "b a main \"" + mainPath + "\"");
}

TEST_F(DiskInclude, ThirtySecondLevelFailsOnDiskToo) {
    for (int i = 1; i <= 32; ++i) {
        Write("d" + std::to_string(i) + ".h",
              i < 32 ? "#include \"d" + std::to_string(i + 1) + ".h\"\n" : std::string("leaf\n"));
    }
    Write("main.fx", "#include \"d2.h\"\nend");
    PpRun ok = Run("main.fx");  // main + d2..d32: 31 includes
    EXPECT_EQ(ok.log, "");
    EXPECT_EQ(ok.tokens, "leaf end");
    Write("main.fx", "#include \"d1.h\"\nend");
    PpRun deep = Run("main.fx");
    EXPECT_EQ(deep.hr, E_FAIL);
    EXPECT_EQ(deep.log, (root_ / "d31.h").string() + "(1): error X1506: too many nested #includes\n");
}

TEST_F(DiskInclude, MissingFilesAndAbsoluteNames) {
    Write("abs.h", "absolute");
    Write("main.fx", "#include \"" + (root_ / "abs.h").string() + "\"\n#include \"gone.h\"\nafter");
    PpRun r = Run("main.fx");
    EXPECT_EQ(r.tokens, "absolute");
    EXPECT_EQ(r.log, (root_ / "main.fx").string() + "(2): error X1507: failed to open source file: 'gone.h'\n");
    PpRun none = Run("nothing.fx");
    EXPECT_EQ(none.hr, ERR_INVALID_DATA);
    EXPECT_EQ(none.log, "error X1507: failed to open source file: '" + (root_ / "nothing.fx").string() + "'\n");
}

TEST_F(DiskInclude, ByteOrderMarkIsNotText) {
    Write("bom.fx", "\xEF\xBB\xBFx");
    EXPECT_EQ(Run("bom.fx").tokens, "x");
}

}  // namespace
