// The two bars as painted on the real dialog, read back pixel by pixel.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine_fixture.h"
#include "install_dialog.h"
#include "install_session.h"
#include "member_decoder.h"
#include "resource_ids.h"

namespace {

const COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 100, 200), kGreen = RGB(0, 200, 100);

class ProgressTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // Progress mode hides the option texts that share the bars' area.
        for (int id = IDC_BROWSE_HINT; id <= IDC_CONTINUE_HINT; id++)
            ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
        UpdateWindow(dialog);
        for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&msg);
        dc = GetDC(dialog);
    }
    void TearDown() override
    {
        ReleaseDC(dialog, dc);
        EngineTest::TearDown();
    }

    // The bar's rectangle from the template's dialog units; position and
    // size are converted separately, as for any dialog control.
    RECT TemplateRect(int x, int y, int w, int h)
    {
        RECT at = {x, y, 0, 0}, size = {0, 0, w, h};
        MapDialogRect(dialog, &at);
        MapDialogRect(dialog, &size);
        return RECT{at.left, at.top, at.left + size.right, at.top + size.bottom};
    }
    RECT OverallRect() { return TemplateRect(45, 112, 129, 20); }
    RECT FileRect() { return TemplateRect(45, 96, 100, 3); }

    COLORREF Pixel(int x, int y) { return GetPixel(dc, x, y) & 0xFFFFFF; }

    // Checks frame, filled part and white part of a bar painted with fill f;
    // returns the pixels of the white part, row by row.
    std::vector<COLORREF> CheckBar(const RECT& bar, int fill, COLORREF fillColour)
    {
        for (int x = bar.left; x < bar.right; x++) {
            EXPECT_EQ(Pixel(x, bar.top), kBlack) << "top frame at " << x;
            EXPECT_EQ(Pixel(x, bar.bottom - 1), kBlack) << "bottom frame at " << x;
        }
        for (int y = bar.top; y < bar.bottom; y++) {
            EXPECT_EQ(Pixel(bar.left, y), kBlack) << "left frame at " << y;
            EXPECT_EQ(Pixel(bar.right - 1, y), kBlack) << "right frame at " << y;
        }
        int fillEnd = fill > 0 ? std::min<long>(bar.left + fill, bar.right - 1) : bar.left + 1;
        std::vector<COLORREF> white;
        for (int y = bar.top + 1; y < bar.bottom - 1; y++)
            for (int x = bar.left + 1; x < bar.right - 1; x++) {
                COLORREF p = Pixel(x, y);
                if (x < fillEnd) {
                    EXPECT_EQ(p, fillColour) << "filled part at " << x << "," << y;
                } else {
                    // White, or red text smoothed onto white.
                    EXPECT_TRUE(GetRValue(p) == 255 && GetGValue(p) == GetBValue(p))
                        << "white part at " << x << "," << y << ": " << std::hex << p;
                    white.push_back(p);
                }
            }
        return white;
    }

    // What the white part shows with text drawn red on white at the bar's
    // text place, rendered apart on a bitmap.
    std::vector<COLORREF> ExpectedText(const RECT& bar, int fill, const char* text)
    {
        int whiteLeft = fill > 0 ? bar.left + fill : bar.left + 1;
        int top = bar.top + 1, bottom = bar.bottom - 1, right = bar.right - 1;
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, bar.right, bar.bottom);
        HGDIOBJ old = SelectObject(memory, bitmap);
        SelectObject(memory, GetCurrentObject(dc, OBJ_FONT));
        RECT all = {0, 0, bar.right, bar.bottom};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetTextColor(memory, kRed);
        SetBkColor(memory, kWhite);
        TextOutA(memory, whiteLeft + 4, top + (bottom - top) / 5, text, static_cast<int>(strlen(text)));
        std::vector<COLORREF> white;
        for (int y = top; y < bottom; y++)
            for (int x = whiteLeft; x < right; x++)
                white.push_back(GetPixel(memory, x, y) & 0xFFFFFF);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        return white;
    }

    static bool AllWhite(const std::vector<COLORREF>& pixels)
    {
        return std::all_of(pixels.begin(), pixels.end(), [](COLORREF p) { return p == kWhite; });
    }

    HDC dc = nullptr;
};

int Width(const RECT& r) { return r.right - r.left; }

}  // namespace

TEST_F(ProgressTest, PlaceholdersGiveTheBarRectangles)
{
    RECT overall = OverallRect(), file = FileRect();
    ASSERT_GT(Width(overall), 100);  // so that a 1-pixel fill reads 0%
    PaintOverallProgress(nullptr, nullptr);
    PaintFileProgress(nullptr, 1, 1);
    CheckBar(overall, 0, kBlue);
    CheckBar(file, Width(file), kGreen);
    // Just outside each bar nothing was painted.
    COLORREF background = Pixel(2, 2);
    EXPECT_EQ(Pixel(overall.left - 1, overall.top + 3), background);
    EXPECT_EQ(Pixel(overall.right, overall.top + 3), background);
    EXPECT_EQ(Pixel(file.left + 3, file.top - 1), background);
    EXPECT_EQ(Pixel(file.right, file.top + 1), background);

    RECT client;
    GetClientRect(GetDlgItem(dialog, IDC_FILE_BAR), &client);
    EXPECT_EQ(FileProgressWidth(), static_cast<uint32_t>(client.right));
    EXPECT_EQ(static_cast<int>(FileProgressWidth()), Width(file));
}

TEST_F(ProgressTest, OverallBarShowsTheReadPositionAndItsPercentage)
{
    RECT bar = OverallRect();
    int w = Width(bar);
    // A sparse image too large for 32-bit products of position and width.
    const long big = 48L << 20;
    std::string path = work + "\\image.bin";
    FILE* image = std::fopen(path.c_str(), "wb");
    ASSERT_NE(image, nullptr);
    std::fseek(image, big - 1, SEEK_SET);
    std::fputc(0, image);
    std::fclose(image);

    struct Case {
        const char* name;
        long position;
        int fill;  // expected, in pixels
    } cases[] = {
        {"nothing read", 0, 0},
        {"one pixel: nothing filled, 0%", (big + w - 1) / w, 1},
        {"a third", big / 3, w / 3},
        {"nearly full: text cut at the inner edge", big - 10 * (big / w), w - 10},
        {"three quarters of a large image", big / 4 * 3, w * 3 / 4},
        {"full", big, w},
        {"one pixel short of the edge: full, no text", big - (big / w) + 1, w - 1},
        {"read past the measured length: full", big + big / 2, w},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.packageLength = 0;
        session.overallFill = 0;
        ByteStream* stream = StreamOpenRead(path.c_str());
        ASSERT_NE(stream, nullptr);
        StreamSeek(stream, static_cast<uint32_t>(c.position));
        PaintOverallProgress(nullptr, stream);
        EXPECT_EQ(StreamTell(stream), static_cast<uint32_t>(c.position));
        StreamClose(stream);
        EXPECT_EQ(session.packageLength, big);
        EXPECT_EQ(session.overallFill, c.fill);

        std::vector<COLORREF> white = CheckBar(bar, c.fill, kBlue);
        if (c.fill >= w - 1) {
            EXPECT_TRUE(white.empty());
            continue;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%d%%", c.fill > 0 ? c.fill * 100 / w : 0);
        EXPECT_EQ(white, ExpectedText(bar, c.fill, text)) << text;
        EXPECT_FALSE(AllWhite(white));
    }
}

TEST_F(ProgressTest, OverallBarRepaintsItsLastStateWithoutAStream)
{
    RECT bar = OverallRect();
    session.overallFill = Width(bar) / 2;
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    // As the dialog's own paint does, with its paint device context.
    PAINTSTRUCT paint;
    InvalidateRect(dialog, &bar, FALSE);
    HDC paintDc = BeginPaint(dialog, &paint);
    PaintOverallProgress(paintDc, nullptr);
    EndPaint(dialog, &paint);
    std::vector<COLORREF> white = CheckBar(bar, Width(bar) / 2, kBlue);
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", (Width(bar) / 2) * 100 / Width(bar));
    EXPECT_EQ(white, ExpectedText(bar, Width(bar) / 2, text));
}

TEST_F(ProgressTest, FileBarFillsGreenWithoutText)
{
    RECT bar = FileRect();
    int w = Width(bar);
    struct Case {
        uint32_t done, total;
        int fill;
    } cases[] = {
        {0, 1000, 0},
        {1000, 3000, w / 3},
        {999, 1000, static_cast<int>(uint64_t(w) * 999 / 1000)},
        {1000, 1000, w},
        {1060, 1000, w},  // a last match may run past the stated size
        {3000000000u, 4000000000u, w * 3 / 4},
        {5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.done) + " of " + std::to_string(c.total));
        PaintFileProgress(nullptr, c.done, c.total);
        EXPECT_TRUE(AllWhite(CheckBar(bar, c.fill, kGreen)));
    }
}

TEST_F(ProgressTest, EndOfMemberWipesTheFileBar)
{
    RECT bar = FileRect();
    COLORREF background = Pixel(2, 2);
    FileProgressStep(500, 1000);
    ASSERT_EQ(Pixel(bar.left + 2, bar.top + 1), kGreen);
    FileProgressDone();
    for (int x = bar.left; x < bar.right; x++)
        for (int y = bar.top; y < bar.bottom; y++)
            ASSERT_EQ(Pixel(x, y), background) << x << "," << y;
}

TEST_F(ProgressTest, StreamLengthKeepsThePosition)
{
    std::string path = work + "\\data.bin";
    WriteBytes(path, Bytes(12345, 7));
    ByteStream* stream = StreamOpenRead(path.c_str());
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(StreamSeek(stream, 678), 0);
    EXPECT_EQ(StreamGetByte(stream), 7);
    EXPECT_EQ(StreamLength(stream), 12345u);
    EXPECT_EQ(StreamTell(stream), 679u);
    StreamClose(stream);
}
