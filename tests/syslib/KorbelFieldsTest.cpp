// Field splitting and trimming of the system library, called through the binding.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "syslib/Korbel.h"

namespace {

class SyslibFields : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DMI_Load(1), 1); }
    void TearDown() override { DMI_Unload(); }
    char m_out[512] = {};
};

TEST_F(SyslibFields, SplitsTheCommandTextOfARecord) {
    char record[836] = "CONNECT, probe1,,127.0.0.1,5";
    EXPECT_EQ(DMI_GetField(record, m_out, 1), 8);
    EXPECT_STREQ(m_out, " probe1");
    EXPECT_EQ(DMI_GetField(record, m_out, 2), 1);  // present but empty
    EXPECT_EQ(DMI_GetField(record, m_out, 4), 2);
    EXPECT_STREQ(m_out, "5");
    EXPECT_EQ(DMI_GetField(record, m_out, 5), 0);  // absent
    EXPECT_STREQ(m_out, "");
    EXPECT_LT(DMI_GetField(record, m_out, -1), 0);
    EXPECT_LT(DMI_GetField(nullptr, m_out, 0), 0);
    record[0] = '\0';
    EXPECT_EQ(DMI_GetField(record, m_out, 0), 0);  // an empty text has no command
}

TEST_F(SyslibFields, UnterminatedTextIsSplitWithinItsBytes) {
    // Exactly the text's bytes, so a sanitizer build flags any read past them.
    auto text = std::make_unique<char[]>(512);
    std::memset(text.get(), 'a', 512);
    text[3] = ',';
    EXPECT_EQ(DMI_GetField(text.get(), m_out, 1), 509);
    EXPECT_EQ(std::strlen(m_out), 508u);
    EXPECT_EQ(DMI_GetField(text.get(), m_out, 2), 0);
    // One field filling all 512 bytes comes out cut to the buffer, terminated.
    text[3] = 'a';
    EXPECT_EQ(DMI_GetField(text.get(), m_out, 0), 512);
    EXPECT_EQ(m_out[511], '\0');
    // That the bytes after the text (a request's lists) are never part of it
    // is CommandTextTest.UnterminatedTextIsSplitWithinItsBytes'.
}

TEST_F(SyslibFields, SecondSplitterUsesTheGivenSeparator) {
    EXPECT_EQ(DMI_GetFieldCount("3.15..12", '.'), 4);
    EXPECT_EQ(DMI_GetField2("3.15..12", m_out, 1, '.'), 3);
    EXPECT_STREQ(m_out, "15");
    EXPECT_EQ(DMI_GetField2("3.15..12", m_out, 2, '.'), 1);
    EXPECT_EQ(DMI_GetField2("3.15..12", m_out, 4, '.'), 0);
    EXPECT_EQ(DMI_GetField2("", m_out, 0, '.'), 0);
    const std::string longField(250, 'd');
    EXPECT_EQ(DMI_GetField2(longField.c_str(), m_out, 0, '.'), 200);
    EXPECT_EQ(std::strlen(m_out), 199u);
}

TEST_F(SyslibFields, TrimRemovesOnlyTheGivenCharacterAtTheEnds) {
    char word[] = "  CONNECT  x  ";
    EXPECT_EQ(DMI_Trim(word, ' '), 1);
    EXPECT_STREQ(word, "CONNECT  x");
    char left[] = "xxaxb";
    EXPECT_EQ(DMI_TrimLeft(left, 'x'), 3);
    EXPECT_STREQ(left, "axb");
    char only[] = "----";
    EXPECT_EQ(DMI_TrimRight(only, '-'), 0);
    EXPECT_STREQ(only, "");
    EXPECT_LT(DMI_Trim(nullptr, ' '), 0);
}

}  // namespace
