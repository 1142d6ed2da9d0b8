// The text paragraph: the font it makes, where lines break, how they are
// aligned and spaced, and how their start points turn with the angle. The
// native graphics stand-in measures every character as half the font height
// wide and the font height tall.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "front/front.h"
#include "platform/posix/graphics_log.h"

namespace vantorel {
namespace {

namespace log = platform::graphics_log;
using Lines = std::vector<std::string>;

HDC const kDc = reinterpret_cast<HDC>(0x10);

PARAGRAPH_FONT font_of_height(int32_t height, double angle = 0) {
    PARAGRAPH_FONT font;
    std::memset(&font, 0, sizeof font);
    std::strcpy(font.face_name, "Arial");
    font.height = height;
    font.weight = 400;
    font.color = 0x00112233;
    font.angle = angle;
    return font;
}

class Paragraph : public ::testing::Test {
protected:
    void SetUp() override { log::reset(); }
    void TearDown() override { EXPECT_EQ(log::live_objects(), 0) << "a font was left behind"; }

    // Draws with a font of height 10 (characters 5 wide) and returns the TextOutA lines.
    Lines draw(const char* text, RECT box, int32_t alignment = VT_ALIGN_LEFT, double spacing = 1.0,
               double angle = 0) {
        result = DrawParagraph(kDc, text, &box, font_of_height(10, angle), alignment, spacing);
        return log::calls_named("TextOutA");
    }
    bool result = false;
};

TEST(ParagraphRotation, NinetyDegreesAboutTheCentreMovesTheStartPoint) {
    int32_t x = 50, y = 80;
    RotateAboutCentre(100, 100, &x, &y, 90.0);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 50);
}

TEST(ParagraphRotation, ZeroAngleLeavesThePointWhereItIs) {
    int32_t x = -7, y = 12345;
    RotateAboutCentre(3, 4, &x, &y, 0.0);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, 12345);
}

TEST(ParagraphRotation, PositiveOffsetsRoundToNearestAndNegativeOffsetsTruncate) {
    // 45 degrees turns (11, 0) into (7.78, 7.78) and (-11, 0) into (-7.78, -7.78).
    int32_t x = 11, y = 0;
    RotateAboutCentre(0, 0, &x, &y, 45.0);
    EXPECT_EQ(x, 8);
    EXPECT_EQ(y, 8);
    x = -11, y = 0;
    RotateAboutCentre(0, 0, &x, &y, 45.0);
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, -7);
    // Exactly one half goes upward: (1, 0) turned by 60 degrees is (0.5, 0.866).
    x = 1, y = 0;
    RotateAboutCentre(0, 0, &x, &y, 60.0);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
}

TEST(ParagraphRotation, HostileAnglesAndCoordinatesStayInRange) {
    int32_t x = INT32_MAX, y = INT32_MIN;
    RotateAboutCentre(INT32_MIN, INT32_MAX, &x, &y, 1e308);
    x = 5, y = 5;
    RotateAboutCentre(0, 0, &x, &y, 0.0 / 0.0);
    SUCCEED();
}

TEST_F(Paragraph, FontIsCreatedWithTheRequestedArgumentsThenSelectedAndColoured) {
    PARAGRAPH_FONT font = font_of_height(24, 12.7);
    font.weight = 700;
    font.italic = 1;
    font.strike_out = 1;
    font.underline = 0;
    font.smooth = 1;
    SelectParagraphFont(kDc, font);
    EXPECT_TRUE(ReleaseParagraphFont(kDc));
    EXPECT_EQ(log::calls(), (Lines{
        "CreateFontA(24,0,120,120,700,1,0,1,1,2,1,4,0,Arial)=0x1000",
        "SelectObject(0x10,0x1000)=0xf0",
        "SetTextColor(0x10,0x112233)",
        "SetBkMode(0x10,1)",
        "SelectObject(0x10,0xf0)=0x1000",
        "DeleteObject(0x1000)",
    }));
}

TEST_F(Paragraph, SmoothingLooksOnlyAtTheLowByteAndNegativeAnglesTruncateTowardZero) {
    PARAGRAPH_FONT font = font_of_height(-16, -12.7);
    font.underline = 1;
    font.smooth = 0x100;
    SelectParagraphFont(kDc, font);
    ReleaseParagraphFont(kDc);
    EXPECT_EQ(log::calls()[0], "CreateFontA(-16,0,-120,-120,400,0,1,0,1,2,1,1,0,Arial)=0x1000");
}

TEST_F(Paragraph, FaceNameWithoutTerminatorIsReadOnlyWithinItsThirtyTwoBytes) {
    PARAGRAPH_FONT font = font_of_height(10);
    std::memset(font.face_name, 'Q', sizeof font.face_name);
    font.height = 0x41414141;  // would read as more letters if the name ran on
    SelectParagraphFont(kDc, font);
    ReleaseParagraphFont(kDc);
    EXPECT_NE(log::calls()[0].find("," + std::string(32, 'Q') + ")="), std::string::npos) << log::calls()[0];
}

TEST_F(Paragraph, ReleaseReportsFalseWithoutASelectionAndWhenTheFontWasNeverMade) {
    EXPECT_FALSE(ReleaseParagraphFont(kDc));
    EXPECT_TRUE(log::calls().empty());
    log::fail_font_creation(true);
    RECT box{0, 0, 100, 100};
    EXPECT_FALSE(DrawParagraph(kDc, "still drawn", &box, font_of_height(10), VT_ALIGN_LEFT, 1.0));
    EXPECT_EQ(log::calls_named("TextOutA").size(), 1u);
    EXPECT_FALSE(ReleaseParagraphFont(kDc)) << "the font state is cleared after a paragraph";
}

TEST_F(Paragraph, TextThatFitsIsOneLineAndDrawingReportsTheFontRelease) {
    EXPECT_EQ(draw("hello world", {0, 0, 100, 100}), (Lines{"TextOutA(0x10,0,0,\"hello world\",11)"}));
    EXPECT_TRUE(result);
}

TEST_F(Paragraph, TheLastWordIsNeverMeasuredAndJoinsTheLine) {
    // Only "aaaa" (20) fits a box 30 wide, yet "bbbb" ends the text and stays on the line.
    EXPECT_EQ(draw("aaaa bbbb", {0, 0, 30, 100}), (Lines{"TextOutA(0x10,0,0,\"aaaa bbbb\",9)"}));
    EXPECT_EQ(log::calls_named("GetTextExtentPoint32A"),
              (Lines{"GetTextExtentPoint32A(0x10,\"aaaa\",4)", "GetTextExtentPoint32A(0x10,\"aaaa bbbb\",9)"}));
}

TEST_F(Paragraph, LinesBreakAtTheLastSpaceThatFitsAndSkipLeadingSpaces) {
    // 40 wide: "aa bb" (25) fits, "aa bb cc" (40) does not.
    EXPECT_EQ(draw("  aa bb cc dd", {0, 0, 40, 100}),
              (Lines{"TextOutA(0x10,0,0,\"aa bb\",5)", "TextOutA(0x10,0,10,\"cc dd\",5)"}));
}

TEST_F(Paragraph, AFirstWordWiderThanTheBoxStandsAloneWithItsFollowingSpace) {
    EXPECT_EQ(draw("abcdefghij xy", {0, 0, 20, 100}),
              (Lines{"TextOutA(0x10,0,0,\"abcdefghij \",11)", "TextOutA(0x10,0,10,\"xy\",2)"}));
}

TEST_F(Paragraph, ConsecutiveSpacesMayEndALineAtASpace) {
    // "aaaa" fits 25, "aaaa " (25) does not: the line ends at the second space.
    EXPECT_EQ(draw("aaaa  bb", {0, 0, 25, 100}),
              (Lines{"TextOutA(0x10,0,0,\"aaaa \",5)", "TextOutA(0x10,0,10,\"bb\",2)"}));
    log::reset();
    // "aa " (15) fits 35, "aa  bbbbbb" (50) does not: back to the space before the word.
    EXPECT_EQ(draw("aa  bbbbbb cc", {0, 0, 35, 100}),
              (Lines{"TextOutA(0x10,0,0,\"aa \",3)", "TextOutA(0x10,0,10,\"bbbbbb cc\",9)"}));
}

TEST_F(Paragraph, JustificationStretchesEveryLineButTheLast) {
    draw("aa bb cc dd", {0, 0, 40, 100}, VT_ALIGN_JUSTIFY);
    // Lines "aa bb" (25 wide, one space) and "cc dd"; only the first is stretched.
    const Lines expected{
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"aa\",2)",
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"aa bb\",5)",
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"aa bb cc\",8)",
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"aa bb\",5)",
        "SetTextJustification(0x10,15,1)", "TextOutA(0x10,0,0,\"aa bb\",5)",
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"cc\",2)",
        "SetTextJustification(0x10,0,0)", "GetTextExtentPoint32A(0x10,\"cc dd\",5)",
        "TextOutA(0x10,0,10,\"cc dd\",5)",
    };
    const Lines& all = log::calls();
    ASSERT_GE(all.size(), 4u + expected.size());
    EXPECT_EQ(Lines(all.begin() + 4, all.begin() + 4 + static_cast<long>(expected.size())), expected);
}

TEST_F(Paragraph, AJustifiedLineWithoutSpacesInsideIsNotStretched) {
    draw("abcdefghij xy", {0, 0, 20, 100}, VT_ALIGN_JUSTIFY);
    for (const auto& call : log::calls_named("SetTextJustification"))
        EXPECT_EQ(call, "SetTextJustification(0x10,0,0)");
    log::reset();
    EXPECT_EQ(draw("one line", {0, 0, 400, 100}, VT_ALIGN_JUSTIFY).size(), 1u);
}

TEST_F(Paragraph, RightAndCentredAlignmentsPlaceEachLineByItsWidth) {
    EXPECT_EQ(draw("aa bb cc dd", {10, 0, 50, 100}, VT_ALIGN_RIGHT),
              (Lines{"TextOutA(0x10,25,0,\"aa bb\",5)", "TextOutA(0x10,25,10,\"cc dd\",5)"}));
    log::reset();
    EXPECT_EQ(draw("aaa b", {10, 0, 100, 100}, VT_ALIGN_CENTRE), (Lines{"TextOutA(0x10,42,0,\"aaa b\",5)"}));
    log::reset();
    // (-31 + 0 - 10) / 2 truncates toward zero to -20.
    EXPECT_EQ(draw("xx", {-31, 0, 0, 100}, VT_ALIGN_CENTRE), (Lines{"TextOutA(0x10,-20,0,\"xx\",2)"}));
}

TEST_F(Paragraph, UnknownAlignmentStartsAtTheLeftAndKeepsThePreviousX) {
    EXPECT_EQ(draw("aa bb cc dd", {7, 0, 47, 100}, 99),
              (Lines{"TextOutA(0x10,7,0,\"aa bb\",5)", "TextOutA(0x10,7,10,\"cc dd\",5)"}));
}

TEST_F(Paragraph, LineSpacingIsTruncatedToAWholeNumberOfLineHeights) {
    EXPECT_EQ(draw("aa bb cc dd", {0, 0, 40, 100}, VT_ALIGN_LEFT, 1.5),
              (Lines{"TextOutA(0x10,0,0,\"aa bb\",5)", "TextOutA(0x10,0,10,\"cc dd\",5)"}));
    log::reset();
    EXPECT_EQ(draw("aa bb cc dd", {0, 0, 40, 100}, VT_ALIGN_LEFT, 2.9),
              (Lines{"TextOutA(0x10,0,0,\"aa bb\",5)", "TextOutA(0x10,0,20,\"cc dd\",5)"}));
    log::reset();
    // Below one line height the advance is 0: every line lands on the first, and
    // only the end of the text stops the drawing.
    EXPECT_EQ(draw("aa bb cc dd ee ff", {0, 0, 40, 1}, VT_ALIGN_LEFT, 0.9),
              (Lines{"TextOutA(0x10,0,0,\"aa bb\",5)", "TextOutA(0x10,0,0,\"cc dd\",5)",
                     "TextOutA(0x10,0,0,\"ee ff\",5)"}));
}

TEST_F(Paragraph, DrawingStopsWhenTheBoxHeightIsUsedButAlwaysDrawsTheFirstLine) {
    EXPECT_EQ(draw("aa bb cc dd ee ff", {0, 0, 40, 15}).size(), 2u);
    log::reset();
    EXPECT_EQ(draw("aa bb cc dd", {0, 50, 40, 50}), (Lines{"TextOutA(0x10,0,50,\"aa bb\",5)"}));
}

TEST_F(Paragraph, EmptyTextDrawsOneEmptyLine) {
    EXPECT_EQ(draw("", {0, 0, 40, 100}), (Lines{"TextOutA(0x10,0,0,\"\",0)"}));
    log::reset();
    EXPECT_EQ(draw(nullptr, {0, 0, 40, 100}), (Lines{"TextOutA(0x10,0,0,\"\",0)"}));
}

TEST_F(Paragraph, RotatedParagraphTurnsEachLineStartAboutTheBoxCentre) {
    // Box centre (100, 100); lines start at (80, 80) and (80, 90) before turning.
    EXPECT_EQ(draw("aa bb cc dd", {80, 80, 120, 120}, VT_ALIGN_LEFT, 1.0, 90.0),
              (Lines{"TextOutA(0x10,120,80,\"aa bb\",5)", "TextOutA(0x10,110,80,\"cc dd\",5)"}));
    EXPECT_EQ(log::calls()[0], "CreateFontA(10,0,900,900,400,0,0,0,1,2,1,1,0,Arial)=0x1000");
}

TEST_F(Paragraph, HostileSpacingAndBoxesEndWithoutOverflow) {
    draw("aa bb cc dd", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, VT_ALIGN_CENTRE, 1e300);
    EXPECT_EQ(log::calls_named("TextOutA").size(), 1u);
    log::reset();
    EXPECT_EQ(draw("aa bb cc dd", {0, 0, 40, 100}, VT_ALIGN_LEFT, -1e300).size(), 2u);
}

}  // namespace
}  // namespace vantorel
