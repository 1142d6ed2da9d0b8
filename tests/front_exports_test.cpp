// The front's exports and held pictures against the native graphics stand-in:
// choosing the renderer by name, the metafile set-up and restore order, the
// held BMP and JPEG lifecycles, the DIB layout and the four-channel pass.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "front/front.h"
#include "platform/posix/graphics_log.h"

namespace vantorel {
namespace {

namespace log = platform::graphics_log;
using Lines = std::vector<std::string>;

HDC const kDc = reinterpret_cast<HDC>(0x10);
const std::string kCorpus = VANTOREL_CORPUS_DIR;

std::string scratch(const std::string& name) { return ::testing::TempDir() + "vt_front_" + name; }

void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// A 24-bit BMP of the given size (the stand-in reads only its header).
std::string write_bmp(const std::string& name, int32_t width, int32_t height) {
    std::vector<uint8_t> b(54 + 4 * width * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, static_cast<uint32_t>(width));
    put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    const std::string path = scratch(name);
    write_bytes(path, b);
    return path;
}

class Front : public ::testing::Test {
protected:
    void SetUp() override {
        FreeJpeg();
        FreeBitmapFile();
        log::reset();
    }
    void TearDown() override {
        FreeJpeg();
        FreeBitmapFile();
        EXPECT_EQ(log::live_objects(), 0) << "a graphics object was left behind";
    }
};

// ---------------------------------------------------------------- dispatch

TEST_F(Front, RenderLowersTheCallersNameInPlace) {
    char name[] = "NO/SUCH/PHOTO.JPG";
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(VtRender(kDc, &r, name), 1);
    EXPECT_STREQ(name, "no/such/photo.jpg");
    EXPECT_TRUE(log::calls().empty()) << "a missing JPEG draws nothing";
}

TEST_F(Front, RenderChoosesByTheFirstExtensionInItsOrderAnywhereInTheName) {
    RECT r{0, 0, 10, 10};
    char bmp_then_jpg[] = "x.bmp.jpg";
    EXPECT_EQ(VtRender(kDc, &r, bmp_then_jpg), 1);
    EXPECT_EQ(log::calls(), (Lines{"LoadImageA(x.bmp.jpg,0,0,0,0x2010)=0"}));

    log::reset();
    char emf_then_bmp[] = "A.EMF.BMP";
    EXPECT_EQ(VtRender(kDc, &r, emf_then_bmp), 1);
    ASSERT_FALSE(log::calls().empty());
    EXPECT_EQ(log::calls()[0], "GetEnhMetaFileA(a.emf.bmp)=0");

    log::reset();
    char wmf_inside[] = "picture.wmf.old";
    EXPECT_EQ(VtRender(kDc, &r, wmf_inside), 1);
    EXPECT_EQ(log::calls()[0], "GetEnhMetaFileA(picture.wmf.old)=0");
}

TEST_F(Front, RenderRefusesNamesWithoutAKnownExtension) {
    RECT r{0, 0, 10, 10};
    char jpeg[] = "a.jpeg";
    char text[] = "README.TXT";
    EXPECT_EQ(VtRender(kDc, &r, jpeg), 0);
    EXPECT_EQ(VtRender(kDc, &r, text), 0);
    EXPECT_STREQ(text, "readme.txt");
    EXPECT_EQ(VtRender(kDc, &r, nullptr), 0);
    EXPECT_TRUE(log::calls().empty());
}

TEST_F(Front, RenderersReportSuccessEvenWhenTheFileCannotBeRead) {
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(VtRenderJPG(kDc, &r, "missing.jpg"), 1);
    EXPECT_EQ(VtRenderBMP(kDc, &r, "missing.bmp"), 1);
    EXPECT_EQ(VtRenderWMF(kDc, &r, "missing.wmf"), 1);
    EXPECT_TRUE(log::calls_named("StretchBlt").empty());
    EXPECT_TRUE(log::calls_named("StretchDIBits").empty());
}

// --------------------------------------------------------------- metafiles

TEST_F(Front, EnhancedMetafileIsPlayedIntoTheRectangleBetweenSaveAndRestore) {
    const std::string emf = kCorpus + "/pillow/drawing.emf";
    if (!exists(emf)) GTEST_SKIP() << "corpus not found at " << kCorpus;
    RECT r{10, 20, 110, 220};
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, emf.c_str()));
    EXPECT_EQ(log::calls(), (Lines{
        "GetEnhMetaFileA(" + emf + ")=0x1000",
        "SaveDC(0x10)=1",
        "SetMapMode(0x10,8)",
        "SetWindowExtEx(0x10,100,200)",
        "SetViewportExtEx(0x10,100,200)",
        "SetViewportOrgEx(0x10,10,20)",
        "SetWindowOrgEx(0x10,10,20)",
        "PlayEnhMetaFile(0x10,0x1000,10,20,110,220)",
        "RestoreDC(0x10,1)",
        "DeleteEnhMetaFile(0x1000)",
    }));
}

TEST_F(Front, PlainMetafileIsTriedAfterTheEnhancedKindAndPlayedWithItsOwnMapping) {
    const std::string wmf = kCorpus + "/pillow/drawing.wmf";
    if (!exists(wmf)) GTEST_SKIP() << "corpus not found at " << kCorpus;
    std::vector<uint8_t> bytes = read_bytes(wmf);
    const std::string plain = scratch("plain.wmf");
    write_bytes(plain, std::vector<uint8_t>(bytes.begin() + 22, bytes.end()));
    RECT r{5, 6, 55, 36};
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, plain.c_str()));
    EXPECT_EQ(log::calls(), (Lines{
        "GetEnhMetaFileA(" + plain + ")=0",
        "GetMetaFileA(" + plain + ")=0x1000",
        "SaveDC(0x10)=1",
        "SetMapMode(0x10,8)",
        "SetWindowExtEx(0x10,50,30)",
        "SetViewportExtEx(0x10,50,30)",
        "SetViewportOrgEx(0x10,5,6)",
        "SetWindowOrgEx(0x10,5,6)",
        "PlayMetaFile(0x10,0x1000)",
        "RestoreDC(0x10,1)",
        "DeleteMetaFile(0x1000)",
    }));
}

TEST_F(Front, PlaceableMetafileMapsItsBoundingBoxOntoTheRectangle) {
    const std::string wmf = kCorpus + "/pillow/drawing.wmf";
    if (!exists(wmf)) GTEST_SKIP() << "corpus not found at " << kCorpus;
    const size_t size = read_bytes(wmf).size();
    RECT r{5, 6, 55, 36};
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, wmf.c_str()));
    // The file's bounding box is (0, 0)-(1369, 1369).
    EXPECT_EQ(log::calls(), (Lines{
        "GetEnhMetaFileA(" + wmf + ")=0",
        "GetMetaFileA(" + wmf + ")=0",
        "SetMetaFileBitsEx(" + std::to_string(size - 22) + ")=0x1000",
        "SaveDC(0x10)=1",
        "IntersectClipRect(0x10,5,6,55,36)",
        "SetMapMode(0x10,8)",
        "SetWindowExtEx(0x10,1369,1369)",
        "SetViewportExtEx(0x10,50,30)",
        "SetViewportOrgEx(0x10,5,6)",
        "SetWindowOrgEx(0x10,0,0)",
        "PlayMetaFile(0x10,0x1000)",
        "RestoreDC(0x10,1)",
        "DeleteMetaFile(0x1000)",
    }));
}

TEST_F(Front, PlaceableHeaderWithAnEmptyBoxOrNoRecordsFallsBackSafely) {
    // Key, handle, then a box of zero width; the records are a bare header.
    std::vector<uint8_t> file = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0xE8, 3, 0, 0, 0, 0, 0, 0,
                                 1, 0, 9, 0, 0, 3, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::string empty_box = scratch("empty_box.wmf");
    write_bytes(empty_box, file);
    RECT r{0, 0, 40, 30};
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, empty_box.c_str()));
    EXPECT_EQ(log::calls_named("SetWindowExtEx"), (Lines{"SetWindowExtEx(0x10,40,30)"}));
    EXPECT_EQ(log::calls_named("PlayMetaFile"), (Lines{"PlayMetaFile(0x10,0x1000)"}));

    log::reset();
    const std::string header_only = scratch("header_only.wmf");
    write_bytes(header_only, std::vector<uint8_t>(file.begin(), file.begin() + 22));
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, header_only.c_str()));
    EXPECT_TRUE(log::calls_named("SetMetaFileBitsEx").empty());
}

TEST_F(Front, MissingMetafileStillRestoresTheDeviceContextAndReportsTrue) {
    RECT r{0, 0, 40, 30};
    EXPECT_TRUE(PlayMetafileFile(kDc, &r, "no-such.wmf"));
    EXPECT_EQ(log::calls(), (Lines{
        "GetEnhMetaFileA(no-such.wmf)=0",
        "GetMetaFileA(no-such.wmf)=0",
        "SaveDC(0x10)=1",
        "SetMapMode(0x10,8)",
        "SetWindowExtEx(0x10,40,30)",
        "SetViewportExtEx(0x10,40,30)",
        "SetViewportOrgEx(0x10,0,0)",
        "SetWindowOrgEx(0x10,0,0)",
        "PlayMetaFile(0x10,0)",
        "RestoreDC(0x10,1)",
        "DeleteMetaFile(0)",
    }));
}

// -------------------------------------------------------------- held BMP

TEST_F(Front, HeldBitmapLoadsPaintsFromAMemoryContextAndFrees) {
    const std::string bmp = write_bmp("a.bmp", 7, 5);
    EXPECT_EQ(VtLoadBMP(bmp.c_str()), 1);
    RECT r{1, 2, 31, 42};
    EXPECT_EQ(VtPaintBMP(kDc, &r), 1);
    EXPECT_EQ(VtPaintBMP(kDc, &r), 1) << "painting does not use the picture up";
    EXPECT_EQ(VtFreeBMP(0), 1);
    EXPECT_EQ(VtFreeBMP(0), 0) << "nothing is held any more";
    EXPECT_EQ(VtPaintBMP(kDc, &r), 0);
    const Lines paint{
        "CreateCompatibleDC(0x10)=0x1001",
        "SelectObject(0x1001,0x1000)=0xb0",
        "StretchBlt(0x10,1,2,30,40,0x1001,0,0,7,5,0xcc0020)",
        "DeleteDC(0x1001)",
    };
    const Lines& all = log::calls();
    ASSERT_EQ(all.size(), 11u);
    EXPECT_EQ(all[0], "LoadImageA(" + bmp + ",0,0,0,0x2010)=0x1000");
    EXPECT_EQ(all[1], "GetObjectA(0x1000," + std::to_string(sizeof(platform::BITMAP)) + ")");
    EXPECT_EQ(Lines(all.begin() + 2, all.begin() + 6), paint);
    EXPECT_EQ(all[10], "DeleteObject(0x1000)");
}

TEST_F(Front, LoadingABitmapEmptiesFirstAndAFailedLoadHoldsNothing) {
    const std::string first = write_bmp("first.bmp", 3, 3);
    EXPECT_TRUE(LoadBitmapFile(first.c_str()));
    log::reset();
    const std::string second = write_bmp("second.bmp", 4, 4);
    EXPECT_TRUE(LoadBitmapFile(second.c_str()));
    EXPECT_EQ(log::calls()[0], "DeleteObject(0x1000)") << "the first bitmap goes before the second loads";
    log::reset();
    EXPECT_FALSE(LoadBitmapFile("no-such.bmp"));
    EXPECT_EQ(log::calls()[0], "DeleteObject(0x1000)");
    RECT r{0, 0, 1, 1};
    EXPECT_FALSE(PaintBitmapFile(kDc, &r));
    EXPECT_FALSE(FreeBitmapFile());
}

TEST_F(Front, RenderBitmapLoadsPaintsAndFreesInOneCall) {
    const std::string bmp = write_bmp("render.bmp", 2, 2);
    RECT r{0, 0, 8, 8};
    EXPECT_TRUE(RenderBitmapFile(kDc, &r, bmp.c_str()));
    EXPECT_EQ(log::calls_named("StretchBlt").size(), 1u);
    EXPECT_EQ(log::calls().back(), "DeleteObject(0x1000)");
    EXPECT_FALSE(FreeBitmapFile());
}

// ------------------------------------------------------------ held JPEG

TEST(DibLayout, EachChannelCountGetsItsStreamColourAndDibLayout) {
    DIB_LAYOUT l;
    ASSERT_TRUE(ChooseDibLayout(1, CS_GRAY, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_GRAY);
    EXPECT_EQ(l.dib_channels, 3);
    EXPECT_EQ(l.dib_color, CS_BGR);
    ASSERT_TRUE(ChooseDibLayout(3, CS_YCBCR, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_YCBCR);
    EXPECT_EQ(l.dib_color, CS_BGR);
    ASSERT_TRUE(ChooseDibLayout(4, CS_YCC_QUAD, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_YCC_QUAD);
    EXPECT_EQ(l.dib_channels, 4);
    EXPECT_EQ(l.dib_color, CS_QUAD);
    ASSERT_TRUE(ChooseDibLayout(2, CS_YCBCR, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_OTHER);
    EXPECT_EQ(l.dib_channels, 2);
    EXPECT_EQ(l.dib_color, CS_OTHER);
}

TEST(DibLayout, RgbAndPlainFourChannelStreamsKeepTheirReportedColour) {
    DIB_LAYOUT l;
    ASSERT_TRUE(ChooseDibLayout(3, CS_RGB, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_RGB);
    EXPECT_EQ(l.dib_color, CS_BGR);
    ASSERT_TRUE(ChooseDibLayout(4, CS_QUAD, 5, 2, &l));
    EXPECT_EQ(l.jpeg_color, CS_QUAD);
    EXPECT_EQ(l.dib_color, CS_QUAD);
}

TEST(DibLayout, RowsArePaddedToFourBytesAndTheHeaderIsTopDown) {
    DIB_LAYOUT l;
    ASSERT_TRUE(ChooseDibLayout(3, CS_YCBCR, 3, 5, &l));
    EXPECT_EQ(l.row_pad, 3);  // 9 bytes of pixels, 3 of pad
    EXPECT_EQ(l.total_bytes, 60u);
    ASSERT_TRUE(ChooseDibLayout(3, CS_YCBCR, 4, 1, &l));
    EXPECT_EQ(l.row_pad, 0);
    ASSERT_TRUE(ChooseDibLayout(2, CS_OTHER, 1, 1, &l));
    EXPECT_EQ(l.row_pad, 2);

    platform::BITMAPINFO info;
    std::memset(&info, 0xAB, sizeof info);
    FillDibHeader(&info, 3, 5, 3);
    EXPECT_EQ(info.bmiHeader.biSize, 40u);
    EXPECT_EQ(info.bmiHeader.biWidth, 3);
    EXPECT_EQ(info.bmiHeader.biHeight, -5);
    EXPECT_EQ(info.bmiHeader.biPlanes, 1);
    EXPECT_EQ(info.bmiHeader.biBitCount, 24);
    EXPECT_EQ(info.bmiHeader.biCompression, 0u);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 0u);
    EXPECT_EQ(info.bmiHeader.biClrUsed, 0u);
    uint32_t colour;
    std::memcpy(&colour, &info.bmiColors[0], 4);
    EXPECT_EQ(colour, 0u);
    FillDibHeader(&info, 3, 5, 4);
    EXPECT_EQ(info.bmiHeader.biBitCount, 32);
    FillDibHeader(&info, 3, 5, 2);
    EXPECT_EQ(info.bmiHeader.biBitCount, 0);
}

TEST(DibLayout, SizesThatOverflowOrAreEmptyAreRefused) {
    DIB_LAYOUT l;
    EXPECT_FALSE(ChooseDibLayout(4, CS_QUAD, 65535, 65535, &l));
    EXPECT_FALSE(ChooseDibLayout(256, CS_OTHER, 65535, 65535, &l));
    EXPECT_FALSE(ChooseDibLayout(3, CS_YCBCR, 0, 10, &l));
    EXPECT_FALSE(ChooseDibLayout(3, CS_YCBCR, 10, -1, &l));
    EXPECT_FALSE(ChooseDibLayout(-3, CS_OTHER, 10, 10, &l));
    EXPECT_TRUE(ChooseDibLayout(4, CS_QUAD, 23000, 23000, &l));
}

TEST(QuadPass, ColourBytesAreScaledByTheFourthAndReversed) {
    uint8_t pixels[] = {255, 0, 0, 128, 10, 20, 30, 255, 7, 8, 9, 0};
    ScaleQuadChannels(pixels, 3, 1);
    const uint8_t expected[] = {0, 0, 127, 128, 29, 19, 9, 255, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(pixels, expected, sizeof expected), 0);
}

TEST_F(Front, NothingHeldMeansNoPaintNoFreeAndRenderingAMissingFileIsTrue) {
    RECT r{0, 0, 4, 4};
    EXPECT_EQ(VtPaintJPG(kDc, &r), 0);
    EXPECT_EQ(VtFreeJPG(0), 0);
    EXPECT_EQ(VtLoadJPG("no-such.jpg"), 0);
    EXPECT_EQ(HeldJpegPixels(), nullptr);
    EXPECT_EQ(VtRenderJPG(kDc, &r, "no-such.jpg"), 1);
    EXPECT_TRUE(log::calls().empty());
}

// The codec's own decode of a file into a DIB of the layout LoadJpeg chooses,
// for comparing with the held picture. Empty when the codec cannot decode it.
std::vector<uint8_t> codec_decode(const std::string& path, int32_t* width, int32_t* height, int32_t* channels,
                                  JPEG_STATUS* status) {
    JPEG_RECORD record;
    std::memset(&record, 0, sizeof record);
    std::vector<uint8_t> pixels;
    *status = open_codec(&record);
    if (*status != STATUS_SUCCESS) return pixels;
    record.jpeg_path = path.c_str();
    *status = read_image(&record, READ_PARAMS_FILE);
    DIB_LAYOUT layout;
    if (*status == STATUS_SUCCESS &&
        ChooseDibLayout(record.jpeg_channels, record.jpeg_color, record.jpeg_width, record.jpeg_height, &layout)) {
        pixels.resize(layout.total_bytes);
        record.jpeg_color = layout.jpeg_color;
        record.dib_channels = layout.dib_channels;
        record.dib_color = layout.dib_color;
        record.dib_width = record.jpeg_width;
        record.dib_height = record.jpeg_height;
        record.dib_row_pad = layout.row_pad;
        record.dib_pixels = pixels.data();
        *status = read_image(&record, READ_IMAGE_FILE);
        *width = record.jpeg_width;
        *height = record.jpeg_height;
        *channels = layout.dib_channels;
        if (*status != STATUS_SUCCESS) pixels.clear();
    }
    close_codec(&record);
    return pixels;
}

class HeldJpeg : public Front {
protected:
    void SetUp() override {
        Front::SetUp();
        if (!exists(kCorpus + "/libjpeg-turbo/testorig.jpg")) GTEST_SKIP() << "corpus not found at " << kCorpus;
        int32_t w, h, c;
        JPEG_STATUS status;
        codec_decode(kCorpus + "/libjpeg-turbo/testorig.jpg", &w, &h, &c, &status);
        if (status == STATUS_NOT_SUPPORTED) GTEST_SKIP() << "the codec does not decode whole images yet";
    }
};

TEST_F(HeldJpeg, HeldPictureMatchesTheCodecsDecodeAndPaintsStretched) {
    for (const char* name : {"/libjpeg-turbo/testorig.jpg", "/jpeg-decoder/reftest/images/mozilla/jpg-gray.jpg",
                             "/jpeg-decoder/reftest/images/mozilla/jpg-cmyk-1.jpg"}) {
        SCOPED_TRACE(name);
        const std::string path = kCorpus + name;
        int32_t w = 0, h = 0, c = 0;
        JPEG_STATUS status;
        std::vector<uint8_t> expected = codec_decode(path, &w, &h, &c, &status);
        ASSERT_EQ(status, STATUS_SUCCESS);
        if (c == 4) ScaleQuadChannels(expected.data(), w, h);

        ASSERT_EQ(VtLoadJPG(path.c_str()), 1);
        ASSERT_NE(HeldJpegPixels(), nullptr);
        // Row by row: the pad bytes after each row are never written.
        const size_t row_bytes = static_cast<size_t>(w) * c, stride = (row_bytes + 3) & ~size_t{3};
        for (int32_t y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(HeldJpegPixels() + y * stride, expected.data() + y * stride, row_bytes), 0) << y;
        EXPECT_EQ(HeldJpegHeader().bmiHeader.biWidth, w);
        EXPECT_EQ(HeldJpegHeader().bmiHeader.biHeight, -h);
        EXPECT_EQ(HeldJpegHeader().bmiHeader.biBitCount, c * 8);

        log::reset();
        RECT r{3, 4, 103, 54};
        EXPECT_EQ(VtPaintJPG(kDc, &r), 1);
        EXPECT_EQ(log::calls(), (Lines{"StretchDIBits(0x10,3,4,100,50,0,0," + std::to_string(w) + "," +
                                       std::to_string(h) + ",bits,info,0,0xcc0020)"}));
        EXPECT_EQ(log::last_dib_paint().bits, HeldJpegPixels());
        EXPECT_EQ(VtFreeJPG(0), 1);
        EXPECT_EQ(VtFreeJPG(0), 0);
    }
}

TEST_F(HeldJpeg, GreyPictureIsHeldAsEqualBlueGreenAndRed) {
    const std::string path = kCorpus + "/jpeg-decoder/reftest/images/mozilla/jpg-gray.jpg";
    ASSERT_TRUE(LoadJpeg(path.c_str()));
    const auto& hdr = HeldJpegHeader().bmiHeader;
    const int32_t row = (hdr.biWidth * 3 + 3) & ~3;
    for (int32_t y = 0; y < -hdr.biHeight; ++y)
        for (int32_t x = 0; x < hdr.biWidth; ++x) {
            const uint8_t* px = HeldJpegPixels() + y * row + x * 3;
            ASSERT_TRUE(px[0] == px[1] && px[1] == px[2]) << x << "," << y;
        }
}

TEST_F(HeldJpeg, ASecondLoadFreesTheFirstAndAFailingLoadLeavesNothingHeld) {
    ASSERT_TRUE(LoadJpeg((kCorpus + "/libjpeg-turbo/testorig.jpg").c_str()));
    EXPECT_FALSE(LoadJpeg((kCorpus + "/libjpeg-turbo/testimgari.jpg").c_str()));
    EXPECT_EQ(HeldJpegPixels(), nullptr);
    RECT r{0, 0, 1, 1};
    EXPECT_FALSE(PaintJpeg(kDc, &r));
    EXPECT_FALSE(FreeJpeg());
}

TEST_F(HeldJpeg, RenderPaintsOnceAndHoldsNothingAfterwards) {
    RECT r{0, 0, 20, 20};
    EXPECT_TRUE(RenderJpeg(kDc, &r, (kCorpus + "/libjpeg-turbo/testorig.jpg").c_str()));
    EXPECT_EQ(log::calls_named("StretchDIBits").size(), 1u);
    EXPECT_FALSE(FreeJpeg());
}

}  // namespace
}  // namespace vantorel
