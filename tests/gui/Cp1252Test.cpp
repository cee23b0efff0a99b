#include "gui/Cp1252.h"

#include <gtest/gtest.h>

#include <string>

using namespace glowkite;

TEST(Cp1252, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const QString text = FromCp1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(ToCp1252(text), all);
}

TEST(Cp1252, GermanLettersAndTheSpecialRow)
{
    EXPECT_EQ(FromCp1252("St\xF6rung"), QStringLiteral("St\u00f6rung"));
    EXPECT_EQ(FromCp1252("\xC4\xD6\xDC\xE4\xFC\xDF"), QStringLiteral("\u00c4\u00d6\u00dc\u00e4\u00fc\u00df"));
    EXPECT_EQ(FromCp1252("\x80"), QStringLiteral("\u20ac"));
    EXPECT_EQ(FromCp1252("\x84\x93\x94"), QStringLiteral("\u201e\u201c\u201d"));
    EXPECT_EQ(ToCp1252(QStringLiteral("Graph l\u00f6schen \u20ac")), "Graph l\xF6schen \x80");
}

TEST(Cp1252, CharactersWithoutAByteBecomeAQuestionMark)
{
    EXPECT_EQ(ToCp1252(QStringLiteral("a\u0416b\U0001F600c")), "a?b??c");
}

TEST(Cp1252, MessagesAreReadAsUtf8WhenTheyAreValidUtf8)
{
    EXPECT_EQ(MessageText("In /tmp/M\xC3\xBCller/glowkite.INI kann nicht geschrieben werden"),
              QStringLiteral("In /tmp/M\u00fcller/glowkite.INI kann nicht geschrieben werden"));
    EXPECT_EQ(MessageText("St\xF6rung"), QStringLiteral("St\u00f6rung"));
    EXPECT_EQ(MessageText("Cannot open x"), QStringLiteral("Cannot open x"));
}
