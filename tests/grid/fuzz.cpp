// Cell texts are user data: random and truncated mini-HTML and RTF texts are
// measured, drawn and hit-tested, and each call must end with the canvas as
// it was and sizes within reason. Runs under the sanitizers as well. The count
// comes from QUILLET_FUZZ_COUNT: 100000 when unset, 30000 in the sanitized
// build (which runs several times slower), so that the test stays under a minute.
#include "grid/exchange/rtf.h"
#include "grid/htmldraw.h"
#include "grid/imagelist.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace grid;

namespace {

int fuzzCount()
{
#if defined(__SANITIZE_ADDRESS__)
    constexpr int kDefault = 30000;
#else
    constexpr int kDefault = 100000;
#endif
    const char* env = std::getenv("QUILLET_FUZZ_COUNT");
    const int n = env ? std::atoi(env) : kDefault;
    return n > 0 ? n : kDefault;
}

const char* const kHtmlPieces[] = {
    "<B>", "</B>", "<I>", "</I>", "<U>", "</U>", "<S>", "</S>", "<BR>", "<HR>", "<P ALIGN=\"center\">",
    "<P align=\"right\" BGCOLOR=\"clYellow\" INDENT=\"7\">", "</P>", "<FONT FACE=\"Courier New\" SIZE=\"5\" COLOR=\"#00ff00\">",
    "<FONT SIZE=\"99999\">", "<FONT SIZE=\"-3\" COLOR=\"clnosuch\" BGCOLOR=\"#\">", "</FONT>", "<UL>", "</UL>", "<LI>",
    "<A HREF=\"http://x.org/A\">", "<a href=x>", "</A>", "<IMG SRC=\"IDX:0\">", "<IMG SRC=\"IDX:99999\" ALIGN=\"TOP\">",
    "<IMG SRC=\"ssys:/tmp\" WIDTH=\"20\" HEIGHT=\"999999\">", "<IMG SRC=\"pic\" ALT=\"alt\">", "<BODY BGCOLOR=\"clred\">",
    "<BODY BACKGROUND=\"missing://x\">", "<SUB>", "</SUB>", "<SUP>", "</SUP>", "<SHAD>", "</SHAD>", "<HI>", "</HI>",
    "<E>", "</E>", "<Z>", "</Z>", "<BLINK>", "</BLINK>", "<R A=\"45\">", "<R A=\"-99999999999\">", "</R>", "<IND x=\"30\">",
    "<IND x=\"999999999\">", "<#3>", "<", ">", "</", "<>", "</>", "\"", "&amp;", "&lt;", "&gt;", "&nbsp;", "&euro;",
    "&amp;amp;", "&", "&&", "\r\n", "\r", "\n", "\t", " ", "word ", "longerword", "\xC3\xA9", "\xE4\xB8\xAD", "\xFF\xFE",
    "\x01",
};

const char* const kRtfPieces[] = {
    "{", "}", "\\", "{\\rtf1\\ansi ", "{\\fonttbl{\\f0\\fswiss Arial;}{\\f1 Times New Roman;}}",
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}", "\\b ", "\\b0 ", "\\i ", "\\ul ", "\\ulnone ",
    "\\strike ", "\\fs48 ", "\\fs-5 ", "\\fs999999999999 ", "\\f1 ", "\\f77 ", "\\cf1 ", "\\cf99 ", "\\highlight2 ",
    "\\par ", "\\line ", "\\tab ", "\\pard\\qc ", "\\qr ", "\\'e9", "\\'4", "\\'", "\\u8364?", "\\u-10179 ", "\\u-8704 ", "\\uc2 ",
    "\\u123456789 ", "{\\*\\generator x;}", "{\\info{\\title t}}", "\\super ", "\\sub ", "\\nosupersub ", "\\plain ",
    "\\unknownword123 ", "\\~", "\\-", "\\_", "\\{", "\\}", "\\\\", "text ", "\xC3\xA9", "\r\n", ";",
};

template <std::size_t N>
std::string randomText(std::mt19937& rng, const char* const (&pieces)[N])
{
    std::uniform_int_distribution<int> count(0, 24), pick(0, N - 1), kind(0, 9), byte(1, 255);
    std::string s;
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
        if (kind(rng) == 0)
            s += static_cast<char>(byte(rng));  // a stray byte
        else
            s += pieces[pick(rng)];
    }
    // Half of the texts are cut somewhere, as a truncated cell would be.
    if (!s.empty() && kind(rng) < 5)
        s.resize(std::uniform_int_distribution<std::size_t>(0, s.size() - 1)(rng));
    return s;
}

}  // namespace

TEST(GridFuzz, RandomAndTruncatedTextsNeverBreakTheRenderers)
{
    QImage image(160, 60, QImage::Format_RGB32);
    QPainter painter(&image);
    platform::Canvas canvas;
    canvas.Begin(&painter);
    canvas.Font.SetSize(10);
    canvas.Pen.Color = platform::clGreen;
    canvas.Brush.SetColor(platform::clWhite);
    const platform::Font font = canvas.Font;
    TCustomImageList images(8, 8);
    QImage dot(8, 8, QImage::Format_RGB32);
    dot.fill(Qt::red);
    images.Add(dot);

    std::mt19937 rng(20261207);
    const int count = fuzzCount();
    for (int i = 0; i < count; ++i) {
        const std::string html = randomText(rng, kHtmlPieces);
        THTMLDrawParams in;
        in.Images = &images;
        in.WordWrap = i % 2 == 0;
        in.X = static_cast<int>(rng() % 160);
        in.Y = static_cast<int>(rng() % 60);
        in.FocusLink = static_cast<int>(rng() % 3) - 1;
        in.HoverMode = i % 3 == 0;
        in.HoverLink = 1;
        in.HoverColor = i % 5 == 0 ? platform::clYellow : platform::clNone;
        in.BlinkOn = i % 7 != 0;
        THTMLDrawResult out;
        // Measuring, drawing and hit-testing.
        in.CheckOnly = true;
        Listgrid::HTMLDraw(canvas, html, {0, 0, 160, 60}, in, out);
        ASSERT_GE(out.XSize, 0) << i;
        ASSERT_GT(out.YSize, 0) << i;
        in.CheckOnly = false;
        Listgrid::HTMLDraw(canvas, html, {2, 2, 150, 58}, in, out);
        in.CheckAnchor = true;
        Listgrid::HTMLDraw(canvas, html, {2, 2, 150, 58}, in, out);
        ASSERT_LE(out.MouseLink, out.AnchorCount) << i;
        ASSERT_TRUE(canvas.Font == font) << i;
        ASSERT_EQ(canvas.Pen.Color, platform::clGreen) << i;
        ASSERT_EQ(canvas.Brush.Color(), platform::clWhite) << i;

        if (i % 4 == 0) {
            const std::string rtf = randomText(rng, kRtfPieces);
            QTextDocument doc;
            RTFToDocument(rtf, doc, font);
            const std::string plain = RTFPlainText(rtf);
            ASSERT_LE(doc.characterCount(), static_cast<int>(rtf.size()) * 2 + 2) << i;
            ASSERT_LE(plain.size(), rtf.size() * 4 + 2) << i;
        }
    }
    canvas.End();
}

TEST(GridFuzz, DeepAndHugeInputsStayBounded)
{
    // Ten thousand open groups and tags; huge numbers everywhere.
    std::string deep(10000, '{');
    deep += "\\b text";
    EXPECT_EQ(RTFPlainText(deep), "text");
    EXPECT_EQ(RTFPlainText("{\\rtf1 a}}}}} b"), "a b");
    std::string tags;
    for (int i = 0; i < 5000; ++i)
        tags += "<UL><FONT SIZE=\"7\"><A HREF=\"";
    platform::Canvas canvas;
    THTMLDrawParams in;
    in.CheckOnly = true;
    THTMLDrawResult out;
    Listgrid::HTMLDraw(canvas, tags, {0, 0, 100, 100}, in, out);
    EXPECT_GT(out.YSize, 0);
    std::string entities;
    for (int i = 0; i < 2000; ++i)
        entities += "&amp;amp;";
    Listgrid::HTMLDraw(canvas, entities, {0, 0, 100, 100}, in, out);
    EXPECT_EQ(out.StrippedText.size(), 3u * 2000);  // "&amp;amp;" ends as "&&&"
}
