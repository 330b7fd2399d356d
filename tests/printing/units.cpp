// Lengths in hundredths of a millimetre: setters, rounding, pixels at the
// screen's dpi, range errors, the multi-unit record, point keys, page tokens
// and the suite's error box.
#include "platform/converterror.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "printing/pvunits.h"
#include "printing/tokenize.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <limits>

namespace {

struct DpiGuard {
    explicit DpiGuard(int dpi) { platform::SetScreenPixelsPerInch(dpi); }
    ~DpiGuard() { platform::SetScreenPixelsPerInch(96); }
};

TEST(PvValue, SettersRoundHalfToEven)
{
    struct Case {
        const char* what;
        std::function<void(TPvValue&)> set;
        std::int32_t stored;
    } cases[] = {
        {"0.125 mm", [](TPvValue& v) { v.SetAsMm(0.125L); }, 12},
        {"0.375 mm", [](TPvValue& v) { v.SetAsMm(0.375L); }, 38},
        {"-0.125 mm", [](TPvValue& v) { v.SetAsMm(-0.125L); }, -12},
        {"25 mm", [](TPvValue& v) { v.SetAsMm(25); }, 2500},
        {"1.5 cm", [](TPvValue& v) { v.SetAsCm(1.5L); }, 1500},
        {"0.5 in", [](TPvValue& v) { v.SetAsInches(0.5L); }, 1270},
        {"1 in", [](TPvValue& v) { v.SetAsInches(1); }, 2540},
        {"96 px", [](TPvValue& v) { v.SetAsPixels(96); }, 2540},
        {"1,000,000 px", [](TPvValue& v) { v.SetAsPixels(1000000); }, 26458333},
        {"-3 px", [](TPvValue& v) { v.SetAsPixels(-3); }, -79},
    };
    for (const auto& c : cases) {
        TPvValue v;
        c.set(v);
        EXPECT_EQ(v.AsPvUnits, c.stored) << c.what;
    }
    TPvValue v;
    v.SetAsMm(25);
    EXPECT_EQ(v.GetAsCm(), 2.5L);
    EXPECT_NEAR(double(v.GetAsInches()), 0.98425196850393700787, 1e-15);
    EXPECT_EQ(v.GetAsMm(), 25.0L);
}

TEST(PvValue, PixelsFollowTheScreenAtEachCall)
{
    TPvValue v;
    v.AsPvUnits = 2540;
    {
        DpiGuard dpi(120);
        EXPECT_EQ(v.GetAsPixels(), 120);
        v.SetAsPixels(120);
        EXPECT_EQ(v.AsPvUnits, 2540);
    }
    EXPECT_EQ(v.GetAsPixels(), 96);
    EXPECT_EQ(UnitsToPixels(2540), 96);
}

TEST(PvValue, OnChangeFiresOnEverySetAndOnReadingPixels)
{
    TPvValue v;
    int calls = 0;
    TPvValue* sender = nullptr;
    v.OnChange = [&](TPvValue* s) {
        ++calls;
        sender = s;
    };
    v.SetAsMm(10);
    v.SetAsMm(10);  // unchanged still fires
    v.SetAsCm(1);
    v.SetAsInches(0);
    v.SetAsPixels(0);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(sender, &v);
    (void)v.GetAsMm();
    (void)v.GetAsCm();
    (void)v.GetAsInches();
    EXPECT_EQ(calls, 5);
    (void)v.GetAsPixels();
    EXPECT_EQ(calls, 6);
    v.AsPvUnits = 7;  // direct writes are silent
    EXPECT_EQ(calls, 6);
}

TEST(PvValue, LengthsThatDoNotFitAreRefusedAndLeaveTheValue)
{
    const long double nan = std::numeric_limits<long double>::quiet_NaN();
    const long double inf = std::numeric_limits<long double>::infinity();
    const std::function<void(TPvValue&)> bad[] = {
        [](TPvValue& v) { v.SetAsMm(1e30L); },
        [&](TPvValue& v) { v.SetAsMm(nan); },
        [&](TPvValue& v) { v.SetAsCm(-inf); },
        [](TPvValue& v) { v.SetAsInches(1e7L); },
        [](TPvValue& v) { v.SetAsMm(21474836.48L); },  // one past the largest count
        [](TPvValue& v) { v.SetAsPixels(std::numeric_limits<std::int32_t>::max()); },
    };
    for (const auto& set : bad) {
        TPvValue v;
        v.AsPvUnits = 1234;
        int calls = 0;
        v.OnChange = [&](TPvValue*) { ++calls; };
        EXPECT_THROW(set(v), platform::EConvertError);
        EXPECT_EQ(v.AsPvUnits, 1234);
        EXPECT_EQ(calls, 0);
    }
    TPvValue edge;
    edge.SetAsMm(21474836.47L);
    EXPECT_EQ(edge.AsPvUnits, std::numeric_limits<std::int32_t>::max());
}

TEST(PvUnits, FillAndConvert)
{
    TPvUnits u;
    u.Units = 2540;
    FillPvUnits(u);
    EXPECT_EQ(u.Pixels, 96);
    EXPECT_EQ(u.Millimeters, 25.4L);
    EXPECT_EQ(u.Centimeters, 2.54L);
    EXPECT_EQ(u.Inches, 1.0L);

    EXPECT_EQ(ConvertPvUnits(1, PvInches, PvMillimeters), 25.4L);
    EXPECT_EQ(ConvertPvUnits(96, PvPixels, PvInches), 1.0L);
    EXPECT_EQ(ConvertPvUnits(3, PvCentimeters, PvUnits), 3000.0L);
    EXPECT_EQ(UnitsToInches(2540), 1.0L);
    EXPECT_EQ(UnitsToCentimeters(2540), 2.54L);

    TPvPen pen;
    pen.Width = 3;
    EXPECT_EQ(CalculatePenWidth(pen, 600), 19);  // 18.75
    EXPECT_EQ(CalculatePenWidth(pen, 96), 3);
}

TEST(PvUnits, PointKeysAndOrdinals)
{
    EXPECT_EQ(PolyPointX(0), 61.001L);
    EXPECT_EQ(PolyPointX(1), 61.002L);
    EXPECT_EQ(PolyPointY(0), 62.001L);
    EXPECT_EQ(PolyPointY(9), 62.01L);
    static_assert(PvInches == 4 && gmRendering == 7 && Custom == 8 && fromHeaderLine == 3 && PvCrDragZoom == 4);
    EXPECT_EQ(PvEnumFromOrdinal<TPvVertAlignment>(7), gmBottom);
    EXPECT_EQ(PvEnumFromOrdinal<TPvLineType>(-1), PvLine);
}

TEST(PvError, ShowsClassNameBlankLineAndMessage)
{
    platform::ScriptedDialogs dialogs;
    ShowPvError(QStringLiteral("TPvGridPrint"), kPvMsgNoPreview);
    ShowPvError(QStringLiteral("TPvPreview"), QString());
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("TPvGridPrint Error...\r\rPreview property not assigned."));
    EXPECT_EQ(dialogs.shown[0].messageKind, platform::MessageKind::Information);
    EXPECT_EQ(dialogs.shown[1].text, QStringLiteral("TPvPreview Error...\r\r"));
    EXPECT_EQ(platform::LinesForDisplay(dialogs.shown[0].text),
              QStringLiteral("TPvGridPrint Error...\n\nPreview property not assigned."));
}

TEST(Tokens, ReplacedInOrderCaseSensitively)
{
    const QDateTime now(QDate(2026, 3, 7), QTime(9, 5, 30));
    EXPECT_EQ(Tokenize(QStringLiteral("Page {PAGE} of {NUMPAGES}"), 2, 5, now), QStringLiteral("Page 2 of 5"));
    EXPECT_EQ(Tokenize(QStringLiteral("{PAGE}{PAGE}"), 3, 5, now), QStringLiteral("33"));
    EXPECT_EQ(Tokenize(QStringLiteral("{page} {Date}"), 3, 5, now), QStringLiteral("{page} {Date}"));
    EXPECT_EQ(Tokenize(QStringLiteral("{DATE} {TIME}"), 1, 1, now), QStringLiteral("07-Mar-2026 09:05"));
    TPvPageContext ctx{4, now};
    EXPECT_EQ(ctx.Tokenize(QStringLiteral("{PAGE}/{NUMPAGES}"), 3), QStringLiteral("3/4"));
}

}  // namespace
