#include "app/output_owners.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "types/tolm_exceptions.h"
#include "types/tolm_identifier.h"
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

Tolm::TolmValuePtr reference(const std::string& text) {
    Tolm::Identifier identifier;
    Tolm::ParseError error;
    EXPECT_TRUE(Tolm::Identifier::parse(text, identifier, error)) << text;
    return std::make_shared<Tolm::TolmIdentifier>(identifier);
}

// What an output variable refers to as written: a reference's first name, the first name of each
// expansion in an expandable text (a path too), in lists at any depth; a raw text expands nothing.
// Only files both lists name are among each other, however spelt.
TEST(OutputOwnersTest, ReferencedNamesAndSharedFiles) {
    using Names = std::vector<std::string>;
    const struct {
        Tolm::TolmValuePtr value;
        Names names;
    } cases[] = {
        {reference("lib.libout[0]"), {"lib"}},
        {Tolm::makeStringValue("cat ${a.out} #{b} ${ c} $x {d} ${}"), {"a", "b"}},
        {Tolm::makePathStringValue("${dir}/x-${my-var}.txt"), {"dir", "my-var"}},
        {Tolm::makeRawStringValue("${raw}"), {}},
        {Tolm::makeListValue({reference("x"), Tolm::makeListValue({Tolm::makeStringValue("${y}")})}), {"x", "y"}},
        {nullptr, {}},
    };
    for (const auto& c : cases) {
        Names names;
        collectReferencedNames(c.value, names);
        EXPECT_EQ(names, c.names) << (c.value ? c.value->toLiteral() : "null");
    }
    using Files = std::vector<std::string>;
    EXPECT_EQ(filesAmong({"/p/gen.txt", "/p/b.txt", "/p/./x/../gen.txt"}, {"/p/x/../gen.txt"}),
              (Files{"/p/gen.txt", "/p/./x/../gen.txt"}));
    EXPECT_EQ(filesAmong({"/p/b.txt"}, {}), Files{});
}

}  // namespace
