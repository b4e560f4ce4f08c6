#include "types/tolm_exceptions.h"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

using namespace Tolm;

// The root and BadOperation give back the message they were made with.
TEST(TolmExceptions, StoredMessages)
{
    EXPECT_EQ(TolmException("Build failed.").message(), "Build failed.");
    EXPECT_EQ(BadOperation("Cannot append to unresolved identifier").message(),
              "Cannot append to unresolved identifier");
}

// NotFoundException quotes the name after the kind.
TEST(TolmExceptions, NotFoundMessage)
{
    EXPECT_EQ(NotFoundException("Variable", "OUTPUT_NAME").message(),
              "Variable 'OUTPUT_NAME' not found.");
    EXPECT_EQ(NotFoundException("profile", "").message(), "profile '' not found.");
}

// BadConversion names both types and the value's literal.
TEST(TolmExceptions, BadConversionMessage)
{
    EXPECT_EQ(BadConversion("int", "3", "list").message(), "Cannot convert int 3 to list");
}

// IndexException writes each key kind in its own form.
TEST(TolmExceptions, IndexExceptionKeyTexts)
{
    EXPECT_EQ(IndexException("N", AccessKey{std::int64_t{2}}).message(),
              "Variable N cannot be indexed with [2]");
    EXPECT_EQ(IndexException("N", AccessKey{std::int64_t{-1}}).message(),
              "Variable N cannot be indexed with [-1]");
    EXPECT_EQ(IndexException("L", AccessKey{KeyRange{-3, 5, 2}}).message(),
              "Variable L cannot be indexed with [-3:5:2]");
    EXPECT_EQ(IndexException("S", AccessKey{std::string("name")}).message(),
              "Variable S cannot be indexed with name");
    EXPECT_EQ(IndexException("S", AccessKey{KeyPattern{"*.c"}}).message(),
              "Variable S cannot be indexed with /*.c/");
}

// IdentifierError shows at most the shown count of keys, each followed by ".".
TEST(TolmExceptions, IdentifierErrorShownCount)
{
    const std::vector<AccessKey> keys{std::string("ctx"), std::int64_t{-4}, KeyRange{1, 2, 1},
                                      KeyPattern{"a*"}};
    const std::string reason = "Identifier part must be context.";
    EXPECT_EQ(IdentifierError(keys, 0, reason).message(), reason + "  <<");
    EXPECT_EQ(IdentifierError(keys, 1, reason).message(), reason + " ctx. <<");
    EXPECT_EQ(IdentifierError(keys, 3, reason).message(), reason + " ctx.-4.1, 2, 1. <<");
    EXPECT_EQ(IdentifierError(keys, 100, reason).message(), reason + " ctx.-4.1, 2, 1.a*. <<");
    EXPECT_EQ(IdentifierError({}, 2, reason).message(), reason + "  <<");
}

// InternalError names the raising file, line and function.
TEST(TolmExceptions, InternalErrorLocation)
{
    const auto here = std::source_location::current();
    const InternalError error(here);
    EXPECT_EQ(error.message(), std::string("Internal: ") + here.file_name() + "(" +
                                   std::to_string(here.line()) + ") " + here.function_name());
    EXPECT_NE(error.message().find("tolm_exceptions_test.cpp("), std::string::npos);

    // The default argument records the statement that constructs it.
    const int line = __LINE__ + 1;
    const InternalError defaulted;
    EXPECT_NE(defaulted.message().find("(" + std::to_string(line) + ") "), std::string::npos);
}

// The loop message lists the walked chain newest first, each entry followed by " <- ".
TEST(TolmExceptions, LoopMessage)
{
    const LoopFoundException loop("main::a", {"main::b", "main::a"});
    EXPECT_EQ(loop.message(),
              "Loop detected! Causing term: 'main::a'\n"
              "  loop goes as follows: main::b <- main::a <- ");
    EXPECT_EQ(LoopFoundException("x", {}).message(),
              "Loop detected! Causing term: 'x'\n  loop goes as follows: ");
}

// AssignmentException is a standard exception; the rest are caught as TolmException only.
TEST(TolmExceptions, CatchingByFamily)
{
    try {
        throw AssignmentException("Attempted to modify assignment: A = 1 with A ?= 2");
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Attempted to modify assignment: A = 1 with A ?= 2");
    }

    auto caughtAsTolm = [](auto thrower) {
        try {
            thrower();
        } catch (const std::exception&) {
            return false;
        } catch (const TolmException& e) {
            return !e.message().empty();
        }
        return false;
    };
    EXPECT_TRUE(caughtAsTolm([] { throw TolmException("m"); }));
    EXPECT_TRUE(caughtAsTolm([] { throw BadOperation("m"); }));
    EXPECT_TRUE(caughtAsTolm([] { throw NotFoundException("Unit", "u"); }));
    EXPECT_TRUE(caughtAsTolm([] { throw BadConversion("a", "b", "c"); }));
    EXPECT_TRUE(caughtAsTolm([] { throw IndexException("v", AccessKey{std::int64_t{0}}); }));
    EXPECT_TRUE(caughtAsTolm([] { throw IdentifierError({}, 0, "r"); }));
    EXPECT_TRUE(caughtAsTolm([] { throw InternalError(); }));
    EXPECT_TRUE(caughtAsTolm([] { throw LoopFoundException("t", {"t"}); }));
}

// message composes the same text every time it is called.
TEST(TolmExceptions, MessageIsRepeatable)
{
    const IndexException error("X", AccessKey{KeyPattern{"p"}});
    EXPECT_EQ(error.message(), error.message());
}
