#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tolm_app.h"
#include "types/context.h"
#include "types/identifier.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/tolm_path_string.h"
#include "types/unit.h"
#include "types/value_factories.h"
#include "util/log.h"

namespace fs = std::filesystem;

namespace {

class UnitFileLoader : public testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        root = fs::temp_directory_path() / ("tolm-unit-loader-" + std::to_string(seed()));
        fs::create_directories(root);
        app.projectRoot = root;
        savedVerbosity = Log::verbosity;
    }
    void TearDown() override {
        Log::verbosity = savedVerbosity;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }

    void write(const fs::path& relative, const std::string& text) {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative) << text;
    }

    std::string failureOf(const fs::path& file) {
        try {
            app.LoadUnitFile(file);
        } catch (const Tolm::TolmException& e) {
            return e.message();
        }
        return "loaded";
    }

    fs::path root;
    TolmApplication app;
    int savedVerbosity = 5;
};

// A relative path is taken below the project root and path values remember the file's directory.
TEST_F(UnitFileLoader, RelativePathBelowProjectRoot) {
    write("sub/tolm.txt", "unit core\nlib: { SRC = P\"(*.c)\" }\n");
    Log::verbosity = 1;
    testing::internal::CaptureStdout();
    auto unit = app.LoadUnitFile("sub/tolm.txt");
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Parsing " + (root / "sub/tolm.txt").string()), std::string::npos) << log;
    EXPECT_NE(log.find("Parsed unit 'core' at '" + (root / "sub/tolm.txt").string() + "'"), std::string::npos);
    EXPECT_EQ(unit->name, "core");
    auto source = std::dynamic_pointer_cast<Tolm::TolmPathString>(unit->targets.at("lib").assignments.at(0).value);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->baseDirectory, fs::weakly_canonical(root / "sub"));
}

// An absolute path is used unchanged; an empty or comment-only file gives an empty unit.
TEST_F(UnitFileLoader, AbsolutePathAndEmptyFile) {
    write("empty.txt", "// nothing yet\n");
    app.projectRoot = "/nonexistent";
    auto unit = app.LoadUnitFile(root / "empty.txt");
    EXPECT_EQ(unit->name, "");
    EXPECT_TRUE(unit->targets.empty());
    EXPECT_EQ(unit->mainTarget, "");
}

// A bare file name with an empty project root is read from, and anchored at, the current directory.
TEST_F(UnitFileLoader, BareNameWithEmptyRoot) {
    write("tolm.txt", "a: { SRC = P\"(main.c)\" }\n");
    const fs::path previous = fs::current_path();
    fs::current_path(root);
    app.projectRoot.clear();
    std::shared_ptr<Tolm::Unit> unit;
    EXPECT_NO_THROW(unit = app.LoadUnitFile("tolm.txt"));
    fs::current_path(previous);
    ASSERT_TRUE(unit);
    auto source = std::dynamic_pointer_cast<Tolm::TolmPathString>(unit->targets.at("a").assignments.at(0).value);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->baseDirectory, fs::weakly_canonical(root));
}

// Missing files and directories fail with their messages; only a found file is logged.
TEST_F(UnitFileLoader, MissingFileAndDirectory) {
    Log::verbosity = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(failureOf("missing.txt"), "File not found at " + (root / "missing.txt").string());
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Parsing"), std::string::npos);
    fs::create_directories(root / "dir");
    testing::internal::CaptureStdout();
    EXPECT_EQ(failureOf("dir"), "Unable to open file!");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Parsing"), std::string::npos);
}

// A file that exists but cannot be read fails to open.
TEST_F(UnitFileLoader, UnreadableFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write("locked.txt", "a: {}");
    fs::permissions(root / "locked.txt", fs::perms::none);
    EXPECT_EQ(failureOf("locked.txt"), "Unable to open file!");
}

// Syntax errors are printed per error and fail the load naming the file.
TEST_F(UnitFileLoader, SyntaxErrors) {
    write("bad.txt", "a: { X = [1,] }\nb: { = }\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(failureOf("bad.txt"), (root / "bad.txt").string() + " Parsing failed due to syntax errors.");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("line 1:"), std::string::npos) << printed;
    EXPECT_NE(printed.find("line 2:"), std::string::npos) << printed;
}

// A character that forms no token fails the load too, instead of vanishing.
TEST_F(UnitFileLoader, LexerErrorsFail) {
    write("odd.txt", "a: { CFLAGS = -O2 }\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(failureOf("odd.txt"), (root / "odd.txt").string() + " Parsing failed due to syntax errors.");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("line 1:14 token recognition error"), std::string::npos);
}

// Malformed UTF-8 is refused with one clear message.
TEST_F(UnitFileLoader, MalformedUtf8) {
    write("latin1.txt", "a: { NAME = \"caf\xE9\" }\n");
    try {
        app.LoadUnitFile("latin1.txt");
        FAIL() << "loaded";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "UTF-8 string contains an illegal byte sequence");
    }
}

// Failures of the visit reach the caller unchanged.
TEST_F(UnitFileLoader, VisitFailuresPassThrough) {
    write("dup.txt", "App: {}\napp: {}\n");
    EXPECT_THROW(app.LoadUnitFile("dup.txt"), std::invalid_argument);
    write("regex.txt", "a: { X = y[R\"(.*)\"] }\n");
    EXPECT_EQ(failureOf("regex.txt"), (root / "regex.txt").string() + "(1,11): regex index is not supported");
}

// A realistic unit file loads and one target's context evaluates end to end.
TEST_F(UnitFileLoader, EvaluatesTargetContext) {
    write("tolm.txt", R"--(
unit demo

/* The library every program links. */
lib: {
    C_FILES = P"(src/lib/*.c)"
    OUTPUT_NAME = "demo"
}

app(mode): +lib => libs @gen.objects(., extra) {
    CFLAGS = ["-Wall", "-Wextra"]
    if mode = "debug" {
        CFLAGS += "-g"
    }
    if mode != "debug" {
        CFLAGS += "-O2"
    }
    OUTPUT_NAME = "app-${mode}"
    LIMITS = { jobs = 4 }
}
)--");
    auto unit = app.LoadUnitFile("tolm.txt");
    ASSERT_EQ(unit->mainTarget, "lib");
    const Tolm::Target& target = unit->targets.at("app");
    ASSERT_EQ(target.dependencies.size(), 2u);
    EXPECT_EQ(target.dependencies[0].alias, "libs");

    auto context = std::make_shared<Tolm::TargetContext>(target, std::vector<Tolm::TolmValuePtr>{
                                                                     Tolm::makeStringValue("debug")});
    context->evaluateConditions();
    context->resolveVariables();
    auto lookup = [&](const std::string& name) {
        Tolm::Identifier identifier;
        Tolm::ParseError error;
        EXPECT_TRUE(Tolm::Identifier::parse(name, identifier, error)) << name;
        auto value = context->lookup(identifier);
        return value ? value->toString() : std::string("<null>");
    };
    EXPECT_EQ(lookup("CFLAGS"), "-Wall -Wextra -g");
    EXPECT_EQ(lookup("OUTPUT_NAME"), "app-debug");
    EXPECT_EQ(lookup("LIMITS.jobs"), "4");
    EXPECT_EQ(context->name.toString(), "/demo::app");
}

}  // namespace
