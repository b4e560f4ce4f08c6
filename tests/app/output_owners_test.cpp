#include "app/output_owners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "types/tolm_exceptions.h"
#include "types/tolm_context.h"
#include "types/value_factories.h"

namespace {

// An owner may name its files again (a target reached twice); another owner naming one of them,
// also spelt another way, is refused with both names and the file as it spelt it.
TEST(OutputOwnersTest, OneWriterPerFile) {
    OutputOwners owners;
    owners.claim({"/p/obj/x.o", "/p/bin/app"}, "u::ta");
    EXPECT_NO_THROW(owners.claim({"/p/obj/x.o"}, "u::ta"));
    EXPECT_NO_THROW(owners.claim({"/p/obj/y.o"}, "u::tb"));
    try {
        owners.claim({"/p/obj/z.o", "/p/obj/./sub/../x.o"}, "u::prog@0123456789abcdef");
        FAIL() << "no error";
    } catch (const Tolm::TolmException& error) {
        EXPECT_EQ(error.message(), "Targets 'u::ta' and 'u::prog@0123456789abcdef' would both write "
                                   "'/p/obj/./sub/../x.o'; give one of them another output.");
    }
}

// A received file is taken out of what the target names once per time it was received, however
// either spells it; what the target names besides stays its own, and so does everything without
// received files.
TEST(OutputOwnersTest, ReceivedFilesAreNotOwn) {
    using Files = std::vector<std::string>;
    EXPECT_EQ(ownOutputFiles({"/p/a", "/p/b"}, {}), (Files{"/p/a", "/p/b"}));
    EXPECT_EQ(ownOutputFiles({"/p/lib.txt", "/p/app.txt"}, {"/p/./lib.txt"}), (Files{"/p/app.txt"}));
    EXPECT_EQ(ownOutputFiles({"/p/lib.txt", "/p/x/../lib.txt", "/p/y"}, {"/p/lib.txt"}), (Files{"/p/y"}));
    EXPECT_EQ(ownOutputFiles({"/p/bin", "/p/bin"}, {"/p/bin", "/p/other"}), (Files{}));
}

Tolm::TolmValuePtr received(Tolm::TolmValuePtr value) {
    value->fromDependency = true;
    return value;
}

// Only path values marked received count, in lists and context values at any depth, whatever
// marks their holders have.
TEST(OutputOwnersTest, ReceivedPaths) {
    using Files = std::vector<std::string>;
    auto nested = std::make_shared<Tolm::Context>();
    nested->addAssignment(Tolm::Assignment("x", received(Tolm::makePathStringValue("/p/in.txt")),
                                           Tolm::Assignment::AssignType::Set, 0),
                          0);
    nested->addAssignment(
        Tolm::Assignment("y", Tolm::makePathStringValue("/p/own.txt"), Tolm::Assignment::AssignType::Set, 0), 0);
    const struct {
        Tolm::TolmValuePtr value;
        Files files;
    } cases[] = {
        {received(Tolm::makePathStringValue("/p/gen.txt")), {"/p/gen.txt"}},
        {Tolm::makePathStringValue("/p/gen.txt"), {}},
        {received(Tolm::makeStringValue("/p/gen.txt")), {}},
        {received(Tolm::makeListValue({Tolm::makePathStringValue("/p/own.txt"),
                                       Tolm::makeListValue({received(Tolm::makePathStringValue("/p/a"))})})),
         {"/p/a"}},
        {std::make_shared<Tolm::TolmContext>(nested), {"/p/in.txt"}},
        {nullptr, {}},
    };
    for (const auto& c : cases) {
        Files files;
        collectReceivedPaths(c.value, files);
        EXPECT_EQ(files, c.files) << (c.value ? c.value->toLiteral() : "null");
    }
}

}  // namespace
