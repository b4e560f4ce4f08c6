#include "types/value_casts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <typeinfo>
#include <vector>

#include "types/context.h"
#include "types/value_factories.h"

namespace Tolm {
namespace {

class DerivedPath : public TolmPathString {
public:
    using TolmPathString::TolmPathString;
};
class DerivedList : public TolmList {};

template <typename... T>
void expectSameAsDynamicCast(const TolmValuePtr& value)
{
    const auto check = [&]<typename C>() {
        EXPECT_EQ(valueAs<C>(value.get()), dynamic_cast<const C*>(value.get()))
            << typeid(C).name() << " of " << value->typeName();
    };
    (check.template operator()<T>(), ...);
}

// The quick class tests answer exactly as dynamic_cast does, for the value classes and for classes derived
// from one of them.
TEST(ValueCastsTest, AnswerAsDynamicCast)
{
    const std::vector<TolmValuePtr> values = {
        makeStringValue("a"), makePathStringValue("/a"), makeRawStringValue("a"), makeIntValue(1),
        std::make_shared<TolmList>(), std::make_shared<TolmContext>(std::make_shared<Context>()),
        std::make_shared<TolmIdentifier>(Identifier()), std::make_shared<DerivedPath>("/d", "/"),
        std::make_shared<DerivedList>()};
    for (const TolmValuePtr& value : values)
        expectSameAsDynamicCast<TolmValue, TolmBaseString, TolmString, TolmPathString, TolmRawString, TolmInt,
                                TolmList, TolmContext, TolmIdentifier, DerivedPath, Resolvable>(value);
}

// A path joined as text is the library's own join, for every kind of base and text.
TEST(JoinedPathText, AgreesWithTheLibrary)
{
    for (const char* base : {"", "/", "/p", "/p/", "rel", "rel/", ".", "./", "/p//q", "//", "a/.."})
        for (const char* text : {"", "a.c", "/abs/a.c", "sub/a.c", "./a", "../a", "a/", "//x", "."})
            EXPECT_EQ(joinedPathText(base, text), (std::filesystem::path(base) / text).native())
                << base << " + " << text;
}

}  // namespace
}  // namespace Tolm
