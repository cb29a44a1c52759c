// Loading shared libraries and resolving their symbols.
#include <gtest/gtest.h>

#include <utility>

#include "platform/DynamicLibrary.h"

namespace {

using vantor::platform::DynamicLibrary;

TEST(DynamicLibrary, MissingLibraryGivesAnErrorNamingIt) {
    auto sut = DynamicLibrary::Open("libvantor-does-not-exist.so");

    ASSERT_FALSE(sut);
    EXPECT_NE(sut.error().text.find("libvantor-does-not-exist.so"), std::string::npos)
        << sut.error().text;
}

TEST(DynamicLibrary, ResolvesFunctionsOnlyWhileLoadedAndFollowsAMove) {
    auto opened = DynamicLibrary::Open("libm.so.6");
    ASSERT_TRUE(opened) << opened.error().text;
    DynamicLibrary source = std::move(opened.value());
    DynamicLibrary sut = std::move(source);

    auto cosine = sut.Function<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(sut.Symbol("vantor_no_such_symbol"), nullptr);
    EXPECT_EQ(sut.Symbol(nullptr), nullptr);
    EXPECT_FALSE(source.IsLoaded());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(source.Symbol("cos"), nullptr);
    sut.Close();
    EXPECT_FALSE(sut.IsLoaded());
    EXPECT_EQ(sut.Symbol("cos"), nullptr);
}

}  // namespace
