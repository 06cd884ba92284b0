#include "mail/IdMIMEBoundary.h"

#include "support/FixedBoundary.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(IdMIMEBoundary, StackKeepsBoundaryAndParentInStep)
{
    TIdMIMEBoundary stack;
    EXPECT_EQ(stack.Boundary(), u"");
    EXPECT_EQ(stack.ParentPart(), -1);
    stack.Pop(); // harmless when empty

    stack.Push(u"outer", -1);
    stack.Push(u"inner", 3);
    EXPECT_EQ(stack.Count(), 2);
    EXPECT_EQ(stack.Boundary(), u"inner");
    EXPECT_EQ(stack.ParentPart(), 3);
    stack.Pop();
    EXPECT_EQ(stack.Boundary(), u"outer");
    EXPECT_EQ(stack.ParentPart(), -1);
    stack.Clear();
    EXPECT_EQ(stack.Count(), 0);
}

bool IsLetterOrDigit(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

TEST(IdMIMEBoundaryStrings, BoundariesHaveOneEqualsUnderscoreAndOtherwiseLettersAndDigits)
{
    std::set<String> seen;
    for (int i = 0; i < 200; ++i) {
        const String b = TIdMIMEBoundaryStrings::GenerateBoundary();
        ASSERT_EQ(b.size(), 34u);
        const std::size_t eq = b.find(u"=_");
        ASSERT_NE(eq, String::npos) << ToUtf8(b);
        EXPECT_LE(eq, 32u);
        for (std::size_t k = 0; k < b.size(); ++k) {
            if (k != eq && k != eq + 1) {
                EXPECT_TRUE(IsLetterOrDigit(b[k])) << ToUtf8(b);
            }
        }
        seen.insert(b);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(IdMIMEBoundaryStrings, RandomNumbersMapOntoDigitsAndLetters)
{
    // The draws at the edges and at the joins of the three ranges.
    const std::pair<int, char16_t> cases[] = {{1, u'0'}, {10, u'9'}, {11, u'A'}, {36, u'Z'}, {37, u'a'}, {62, u'z'}};
    for (const auto& [draw, expected] : cases) {
        TIdMIMEBoundaryStrings::SetRandomSource([draw = draw] { return FixedBoundary::RandomFor(draw, 61); });
        EXPECT_EQ(TIdMIMEBoundaryStrings::GenerateRandomChar(), expected) << draw;
    }
    TIdMIMEBoundaryStrings::SetRandomSource([] { return 0.0; });
    EXPECT_EQ(TIdMIMEBoundaryStrings::GenerateBoundary(), u"=_" + String(32, u'0'));
    TIdMIMEBoundaryStrings::SetRandomSource([] { return 0.999999; });
    EXPECT_EQ(TIdMIMEBoundaryStrings::GenerateBoundary(), String(32, u'z') + u"=_");
    TIdMIMEBoundaryStrings::SetRandomSource([] { return 7.0; }); // out of range: kept in range
    EXPECT_EQ(TIdMIMEBoundaryStrings::GenerateBoundary(), String(32, u'z') + u"=_");
    TIdMIMEBoundaryStrings::SetRandomSource({});
}

TEST(IdMIMEBoundaryStrings, AChosenBoundaryCanBeInjected)
{
    {
        FixedBoundary fixed(u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
        EXPECT_EQ(TIdMIMEBoundaryStrings::GenerateBoundary(), u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
    }
    EXPECT_NE(TIdMIMEBoundaryStrings::GenerateBoundary(), u"K9=_XM4V2Q46Qo8EcwZOy3qI97JoBZdNX4");
}

} // namespace
