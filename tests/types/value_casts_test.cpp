// The quick class tests answer exactly as dynamic_cast does, for the value
// classes and for a class derived from one of them; paths joined as text are
// joined as the library joins them.

#include "types/value_casts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
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

template <typename T>
void expectSameAsDynamicCast(const TolmValuePtr& value)
{
    EXPECT_EQ(valueAs<T>(value.get()), dynamic_cast<const T*>(value.get())) << typeid(T).name() << " of "
                                                                            << value->typeName();
}

template <typename... T>
void expectSameAsDynamicCast(const std::vector<TolmValuePtr>& values)
{
    for (const TolmValuePtr& value : values) (expectSameAsDynamicCast<T>(value), ...);
}

TEST(ValueCastsTest, AnswerAsDynamicCast)
{
    const std::vector<TolmValuePtr> values = {
        makeStringValue("a"),
        makePathStringValue("/a"),
        makeRawStringValue("a"),
        makeIntValue(1),
        std::make_shared<TolmList>(),
        std::make_shared<TolmContext>(std::make_shared<Context>()),
        std::make_shared<TolmIdentifier>(Identifier()),
        std::make_shared<DerivedPath>("/d", "/"),
        std::make_shared<DerivedList>(),
    };
    expectSameAsDynamicCast<TolmValue, TolmBaseString, TolmString, TolmPathString, TolmRawString, TolmInt, TolmList,
                            TolmContext, TolmIdentifier, DerivedPath, Resolvable>(values);
    const TolmValue* none = nullptr;
    EXPECT_EQ(valueAs<TolmList>(none), nullptr);
    // The writable form gives the same object.
    for (const TolmValuePtr& value : values)
        EXPECT_EQ(valueAs<Resolvable>(value.get()), dynamic_cast<Resolvable*>(value.get())) << value->typeName();
}

// A path joined as text is the library's own join, for every kind of base and text.
TEST(JoinedPathText, AgreesWithTheLibrary)
{
    const char* bases[] = {"", "/", "/p", "/p/", "rel", "rel/", ".", "./", "/p//q", "//", "a/.."};
    const char* texts[] = {"", "a.c", "/abs/a.c", "sub/a.c", "./a", "../a", "a/", "//x", "."};
    for (const char* base : bases)
        for (const char* text : texts)
            EXPECT_EQ(joinedPathText(base, text), (std::filesystem::path(base) / text).native()) << base << " + " << text;
}

}  // namespace
}  // namespace Tolm
