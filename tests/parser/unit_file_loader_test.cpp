#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "parser/visit_helpers.h"
#include "scenario/scratch_dir.h"
#include "parser/unit_file_loader.h"

namespace fs = std::filesystem;

namespace {

class UnitFileLoader : public testing::Test {
protected:
    void write(const fs::path& relative, const std::string& text) { scratch.write(relative, text); }

    // Loads `file` with the most detailed log into `log`; the failure text goes to `failure`.
    std::shared_ptr<Tolm::Unit> load(const fs::path& file, std::string* failure = nullptr) {
        std::shared_ptr<Tolm::Unit> unit;
        TestSupport::LogCapture capture(1);
        const std::string text = ParserTest::failureOf([&] { unit = loadUnitFile(file); });
        log = capture.text();
        if (failure != nullptr) *failure = text;
        EXPECT_EQ(bool(unit), failure == nullptr) << text;
        return unit;
    }
    std::string failure(const fs::path& file) {
        std::string text;
        load(file, &text);
        return text;
    }

    // The base directory of the path value first assigned in `target`.
    static fs::path baseOf(const Tolm::Unit& unit, const char* target) {
        auto value = unit.targets.at(target).assignments.at(0).value;
        return std::dynamic_pointer_cast<Tolm::TolmPathString>(value)->baseDirectory;
    }

    ScratchDir scratch;
    const fs::path root = scratch.path();
    std::string log;
};

// Files are logged by the path given, relative ones found in the current
// directory; path values are based at the file's own directory.
TEST_F(UnitFileLoader, LoadsGoodFiles) {
    write("sub/tolm.txt", "unit core\nlib: { SRC = P\"(*.c)\" }\n");
    auto unit = load(root / "sub/tolm.txt");
    const std::string full = (root / "sub/tolm.txt").string();
    EXPECT_EQ(log, "Parsing " + full + "\nParsed unit 'core' at '" + full + "'\n");
    EXPECT_EQ(baseOf(*unit, "lib"), fs::weakly_canonical(root / "sub"));

    write("empty.txt", "// nothing yet\n");
    EXPECT_TRUE(load(root / "empty.txt")->targets.empty());
    EXPECT_NE(log.find("Parsed unit '' at"), std::string::npos);

    write("tolm.txt", "a: { SRC = P\"(main.c)\" }\n");
    const fs::path previous = fs::current_path();
    fs::current_path(root);
    auto bare = load("tolm.txt");
    fs::current_path(previous);
    EXPECT_EQ(baseOf(*bare, "a"), fs::weakly_canonical(root));
    EXPECT_EQ(bare->targets.at("a").name.toString(), "/::a");
}

// Bad files fail with their messages: a directory, bytes that are no UTF-8, a regex index, and lexer
// errors, which are printed like parser errors and fail the load.
TEST_F(UnitFileLoader, BadFiles) {
    const std::string at = root.string() + "/";
    fs::create_directories(root / "dir");
    EXPECT_EQ(failure(root / "dir"), "Unit file '" + at + "dir' is a directory.");
    EXPECT_EQ(log, "Parsing " + at + "dir\n");
    write("latin1.txt", "a: { NAME = \"caf\xE9\" }\n");
    EXPECT_EQ(failure(root / "latin1.txt"), at + "latin1.txt: UTF-8 string contains an illegal byte sequence");
    write("regex.txt", "a: { X = y[R\"(.*)\"] }\n");
    EXPECT_EQ(failure(root / "regex.txt"), at + "regex.txt(1,11): regex index is not supported");
    write("odd.txt", "a: { CFLAGS = -O2 }\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(failure(root / "odd.txt"), at + "odd.txt Parsing failed due to syntax errors.");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("line 1:14 token recognition error"), std::string::npos);
}

// A NUL byte fails the load before the file is parsed, naming the file, line and column as the
// parser's errors do: on the first line, after several lines, after multi-byte characters.
TEST_F(UnitFileLoader, NulByteNamesItsPlace) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"\0unit u\n"s, "(1,0)"},
        {"unit u\n\n// note\ng: { cmdline = \"echo a\0; echo b > o.txt\" }\n"s, "(4,22)"},
        {"unit u\ng: { NAME = \"caf\xC3\xA9 \xF0\x9F\x98\x80\0\" }\n"s, "(2,19)"},
    };
    for (const auto& [content, place] : cases) {
        write("nul.txt", content);
        EXPECT_EQ(failure(root / "nul.txt"), (root / "nul.txt").string() + place + ": a NUL byte is not allowed");
        EXPECT_EQ(log, "Parsing " + (root / "nul.txt").string() + "\n");
    }
}

}  // namespace
