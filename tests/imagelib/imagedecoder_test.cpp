#include "bmpbytes.h"
#include "codectestfiles.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/bmpdecoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Bytes Block(std::initializer_list<std::pair<int, uint8_t>> bytes, size_t size = 600) {
    Bytes b(size, 0x55); // a value no test looks for
    for (auto [at, value] : bytes)
        b[size_t(at)] = value;
    return b;
}

struct ClassCase {
    const char* name;
    Bytes bytes;
    CImageType type;
};

std::vector<ClassCase> ClassCases() {
    return {
        {"Bmp", Block({{0, 'B'}, {1, 'M'}}), kImageBmp},
        {"Targa", Block({{1, 0}, {2, 2}, {7, 0}, {16, 24}}), kImageTarga},
        {"TargaColourMapped", Block({{1, 1}, {2, 9}, {7, 15}, {16, 8}}), kImageTarga},
        // The Targa test comes early: later bytes of other formats do not save these.
        {"TargaBeforePict",
         Block({{1, 0}, {2, 2}, {7, 0}, {16, 24}, {522, 0}, {523, 0x11}, {524, 1}}), kImageTarga},
        {"TargaBeforePcx", Block({{0, 0x0A}, {1, 0}, {2, 1}, {7, 8}, {16, 8}}), kImageTarga},
        {"Gif", Block({{0, 'G'}, {1, 'I'}, {2, 'F'}, {3, '8'}}), kImageGif},
        {"TiffIntel", Block({{0, 0x49}, {1, 0x49}, {2, 0x2A}, {3, 0}}), kImageTiff},
        {"TiffMotorola", Block({{0, 0x4D}, {1, 0x4D}, {2, 0}, {3, 0x2A}}), kImageTiff},
        {"PictVersion2", Block({{522, 0}, {523, 0x11}, {524, 2}, {525, 0xFF}}), kImagePict},
        {"PictVersion1", Block({{522, 0}, {523, 0x11}, {524, 1}}), kImagePict},
        {"PictVersion1Alt", Block({{522, 0x11}, {523, 1}, {524, 1}, {525, 0}}), kImagePict},
        {"PictOnlyAbove540Bytes", Block({{522, 0}, {523, 0x11}, {524, 1}}, 540), kImageUnknown},
        {"PictBeforeJpeg",
         Block({{0, 0xFF}, {1, 0xD8}, {2, 0xFF}, {522, 0}, {523, 0x11}, {524, 1}}), kImagePict},
        {"Jpeg", Block({{0, 0xFF}, {1, 0xD8}, {2, 0xFF}}), kImageJpeg},
        {"JpegNeedsThirdFF", Block({{0, 0xFF}, {1, 0xD8}, {2, 0x00}}), kImageUnknown},
        {"Png", Block({{0, 0x89}, {1, 'P'}, {2, 'N'}, {3, 'G'}}), kImagePng},
        {"HeicMajorBrand",
         Block({{0, 0},
                {1, 0},
                {2, 0},
                {3, 24},
                {4, 'f'},
                {5, 't'},
                {6, 'y'},
                {7, 'p'},
                {8, 'h'},
                {9, 'e'},
                {10, 'i'},
                {11, 'c'}}),
         kImageHeif},
        // A compatible brand counts, the minor version (bytes 12 to 15) does not.
        {"AvifCompatibleBrand",
         Block({{0, 0},
                {1, 0},
                {2, 0},
                {3, 24},
                {4, 'f'},
                {5, 't'},
                {6, 'y'},
                {7, 'p'},
                {8, 'm'},
                {9, 'p'},
                {10, '4'},
                {11, '2'},
                {20, 'a'},
                {21, 'v'},
                {22, 'i'},
                {23, 'f'}}),
         kImageHeif},
        {"BrandPastTheBox",
         Block({{0, 0},
                {1, 0},
                {2, 0},
                {3, 16},
                {4, 'f'},
                {5, 't'},
                {6, 'y'},
                {7, 'p'},
                {8, 'm'},
                {9, 'p'},
                {10, '4'},
                {11, '2'},
                {16, 'a'},
                {17, 'v'},
                {18, 'i'},
                {19, 'f'}}),
         kImageUnknown},
        {"Webp",
         Block({{0, 'R'}, {1, 'I'}, {2, 'F'}, {3, 'F'}, {8, 'W'}, {9, 'E'}, {10, 'B'}, {11, 'P'}}),
         kImageWebp},
        {"RiffWave",
         Block({{0, 'R'}, {1, 'I'}, {2, 'F'}, {3, 'F'}, {8, 'W'}, {9, 'A'}, {10, 'V'}, {11, 'E'}}),
         kImageUnknown},
        {"EpsPreview", Block({{0, 0xC5}, {1, 0xD0}, {2, 0xD3}, {3, 0xC6}}), kImageEpsPreview},
        {"EpsWithoutPreview",
         Block({{0, 0xC5}, {1, 0xD0}, {2, 0xD3}, {3, 0xC6}, {20, 0}, {21, 0}, {22, 0}, {23, 0}}),
         kImageUnknown},
        {"Pcx", Block({{0, 0x0A}, {2, 0x01}}), kImagePcx},
        {"Pgm", Block({{0, 'P'}, {1, '5'}}), kImagePgm},
        {"PgmAscii", Block({{0, 'P'}, {1, '2'}}), kImagePgm},
        {"Unknown", Block({}), kImageUnknown},
    };
}

class Classify : public ::testing::TestWithParam<ClassCase> {};

TEST_P(Classify, GivesTheFirstMatchingClass) {
    const ClassCase& c = GetParam();
    Bytes padded = c.bytes;
    padded.resize(CAutoDetectDecoder::kRecognitionBytes, 0);
    EXPECT_EQ(CAutoDetectDecoder::ClassifyImage(padded.data(), int(c.bytes.size())), c.type);
}

INSTANTIATE_TEST_SUITE_P(Recognition, Classify, ::testing::ValuesIn(ClassCases()),
                         [](const auto& info) { return std::string(info.param.name); });

int DecodeCode(const Bytes& bytes, std::string* text = nullptr) {
    CAutoDetectDecoder decoder;
    CMemoryBitmap bmp;
    try {
        decoder.DecodeMemory(bytes.data(), int(bytes.size()), bmp, 32);
    } catch (const CTextException& e) {
        if (text)
            *text = e.GetText();
        return e.GetCode();
    }
    return 0;
}

TEST(AutoDetectDecoder, DispatchTexts) {
    std::string text;
    EXPECT_EQ(DecodeCode({0xFF, 0xD8, 0x00, 0x12}, &text), 8);
    EXPECT_EQ(text, "Decoder error: Unknown file type.\n");
    for (const Bytes& other :
         {Block({{1, 0}, {2, 2}, {7, 0}, {16, 24}}), Block({{522, 0}, {523, 0x11}, {524, 1}}),
          Block({{0, 'P'}, {1, '5'}}), Block({{0, 0x0A}, {2, 0x01}})}) {
        EXPECT_EQ(DecodeCode(other, &text), 6);
        EXPECT_EQ(text, "Decoder error: Library not compiled for this file type.\n");
    }
    // A TIFF header goes to the TIFF decoder, which reports libtiff's error.
    EXPECT_EQ(DecodeCode(Block({{0, 0x49}, {1, 0x49}, {2, 0x2A}, {3, 0}}), &text), 2);
    EXPECT_EQ(text.rfind("Decoder error: TIFF: ", 0), 0u) << text;
    // "BM" goes to the BMP decoder whatever follows; it reports its own errors.
    EXPECT_EQ(DecodeCode(Block({{0, 'B'}, {1, 'M'}, {14, 39}, {15, 0}, {16, 0}, {17, 0}}), &text),
              2);
    EXPECT_EQ(text, "Decoder error: Bitmap decoder: BITMAPINFOHEADER has wrong size.\n");
    // Tiny and empty inputs are classified on zeros, never read past their end.
    EXPECT_EQ(DecodeCode({}), 8);
    EXPECT_EQ(DecodeCode({'B'}), 8);
    EXPECT_EQ(DecodeCode({'B', 'M'}), 11);
}

TEST(ImageDecoder, MissingFileAndFolderCodes) {
    CAutoDetectDecoder decoder;
    CDIBSectionBitmap bmp;
    const std::string missing = ::testing::TempDir() + "qm_no_such_file.bmp";
    const std::string folder = ::testing::TempDir() + "qm_folder_named.bmp";
    const std::string empty = ::testing::TempDir() + "qm_empty.bmp";
    std::filesystem::create_directories(folder);
    std::ofstream{empty};
    // The code the window acts on, and the reason a user reads at the end of the line.
    struct Case {
        std::string path;
        int code;
        const char* reason;
    };
    for (const Case& c : {Case{missing, 4, "No such file or directory"},
                          Case{missing + "/x/y.bmp", 3, "No such file or directory"},
                          Case{folder, 4, "Is a directory"}, Case{empty, 5, "the file is empty"}}) {
        try {
            decoder.DecodeFile(c.path, bmp, 32);
            ADD_FAILURE();
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), c.code);
            EXPECT_EQ(e.GetText(),
                      "Decoder error: Opening " + c.path + " failed: " + c.reason + "\n");
        }
    }
    std::filesystem::remove(folder);
    std::filesystem::remove(empty);
    try {
        decoder.DecodeResource(9999, bmp, 32);
        ADD_FAILURE();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 4);
        EXPECT_EQ(e.GetText(), "Decoder error: Opening resource 9999 failed\n");
    }
}

TEST(ImageDecoder, SamplePictureResource) {
    CAutoDetectDecoder decoder;
    CDIBSectionBitmap bmp;
    decoder.DecodeResource(157, bmp, 0);
    EXPECT_EQ(bmp.GetWidth(), 190);
    EXPECT_EQ(bmp.GetHeight(), 190);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 8);
    decoder.DecodeResource(157, bmp, 32);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 32);
    // Not a flat picture: a stamp needs something to stand on.
    EXPECT_NE(bmp.GetPixel32(5, 5), bmp.GetPixel32(100, 150));
}

TEST(ImageDecoder, DecodeFileReadsTheFileWithProgress) {
    CDIBBitmap source;
    source.Create(300, 40, 32, false);
    const std::string path = ::testing::TempDir() + "qm_dec_" + std::to_string(::getpid()) + ".bmp";
    CBmpEncoder().EncodeFile(path, source);
    struct Count : CProgressNotification {
        int calls = 0;
        double last = 0;
        void OnProgress(double f) override {
            ++calls;
            last = f;
        }
    } progress;
    CAutoDetectDecoder decoder;
    CDIBSectionBitmap bmp;
    decoder.DecodeFile(path, bmp, 0, &progress);
    EXPECT_EQ(bmp.GetWidth(), 300);
    EXPECT_EQ(bmp.GetBitsPerPixel(), 32);
    EXPECT_GT(progress.calls, 30);
    EXPECT_EQ(progress.last, 1.0);
    std::remove(path.c_str());
}

// Another program shortens the input while it is being decoded: the decoder goes on with
// what it read (a mapped input would die of SIGBUS here, taking the process with it).
TEST(ImageDecoder, AnInputCutShortWhileDecodedCostsNoSignal) {
    CDIBBitmap source;
    source.Create(1000, 300, 32, false);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 1000; ++x)
            SetPixel32(source, x, y, uint32_t(x * 7 + y * 13) | 0xFF000000u);
    const std::string path =
        ::testing::TempDir() + "qm_shrinks_" + std::to_string(::getpid()) + ".bmp";
    CBmpEncoder().EncodeFile(path, source);
    struct Truncate : CProgressNotification {
        std::string path;
        void OnProgress(double fraction) override {
            if (fraction < 1.0 && ::truncate(path.c_str(), 4096) != 0)
                ADD_FAILURE() << "truncate";
        }
    } truncate;
    truncate.path = path;
    CAutoDetectDecoder decoder;
    CDIBSectionBitmap bmp;
    decoder.DecodeFile(path, bmp, 32, &truncate);
    EXPECT_EQ(bmp.GetPixel32(999, 299), source.GetPixel32(999, 299));
    // Cut short before the read: that file's end-of-input error, nothing worse.
    try {
        decoder.DecodeFile(path, bmp, 32);
        ADD_FAILURE();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 11);
    }
    std::remove(path.c_str());
}

class FixedEstimate : public CMemoryBitmap {
public:
    explicit FixedEstimate(int estimate) : m_estimate(estimate) {}
    int GetMemoryUsed() const override { return m_estimate; }

private:
    int m_estimate;
};

TEST(ImageEncoder, SinkCapacityRule) {
    CBmpEncoder encoder; // the default 16 x 16 x 8 bitmap needs far less than either rule
    EXPECT_EQ(encoder.GetSinkCapacity(FixedEstimate(20000)), 24000);
    EXPECT_EQ(encoder.GetSinkCapacity(FixedEstimate(19999)), 24095);
    EXPECT_EQ(encoder.GetSinkCapacity(FixedEstimate(100000)), 120000);
}

TEST(ImageEncoder, UncreatableFileIsCodeMinus1) {
    CDIBBitmap bmp;
    const std::string path = ::testing::TempDir() + "qm_missing_folder/out.bmp";
    try {
        CBmpEncoder().EncodeFile(path, bmp);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), -1);
        EXPECT_EQ(e.GetText(), "Creating " + path + " failed: No such file or directory\n");
    }
}

// An encoder that fails half way leaves nothing under the file's name: an older file there
// stays as it was, and no temporary is left beside it.
TEST(ImageEncoder, AFailedEncodingLeavesTheNameUntouched) {
    struct HalfEncoder : CImageEncoder {
        void EncodeBody(const CImageBitmap&, CImageSink& sink) override {
            sink.WriteBytes(4, "half");
            RaiseDecoderError(6, "stopped");
        }
    } encoder;
    CDIBBitmap bmp;
    char folder[] = "/tmp/qm_halfXXXXXX";
    ASSERT_TRUE(::mkdtemp(folder));
    const std::string path = std::string(folder) + "/out.bmp";
    std::ofstream(path) << "older";
    EXPECT_THROW(encoder.EncodeFile(path, bmp), CTextException);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "older");
    std::remove(path.c_str());
    EXPECT_EQ(::rmdir(folder), 0) << "a temporary was left";
}

// The library's own exception is all that callers catch (the viewer, the preview dialog,
// the batch): a work buffer sized by the input that does not fit must arrive as code 10,
// never as std::bad_alloc. Run in a child under an address-space limit that lets the
// picture itself be allocated but not the row buffer beside it.
TEST(ImageCodecs, RowBuffersThatDoNotFitEndInCode10) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
#else
    // 100 million pixels in one row: 400 MB of picture, and a 100 MB row of indices in the
    // decoder or 300 MB of converted row in the encoder.
    constexpr int kWidth = 100'000'000;
    for (const bool encoder : {false, true}) {
        SCOPED_TRACE(encoder ? "BMP encoder" : "BMP decoder, RLE8");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child != 0) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0)
                << "1: no failure, 2: another code, 3: std::bad_alloc";
            continue;
        }
        BmpShape shape;
        shape.width = kWidth;
        shape.compression = 1;
        shape.colorsUsed = 1;
        shape.palette = {0};
        shape.pixels = {0, 1}; // end of picture at once: 60 bytes in all
        const Bytes file = MakeBmp(shape);
        CMemoryBitmap picture;
        if (encoder)
            picture.Create(kWidth, 1, 32, false); // mapped, not touched
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t mapped = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE));
        const rlim_t limit = mapped + (encoder ? 150'000'000 : 450'000'000);
        const rlimit as{limit, limit};
        ::setrlimit(RLIMIT_AS, &as);
        int code = 1; // the limit did not bite: the test would prove nothing
        try {
            if (encoder) {
                // Room for the headers only: the row buffer comes next.
                struct Headers : CImageSink {
                    uint8_t bytes[64];
                    Headers() { OpenCommon("headers", bytes, sizeof bytes); }
                } sink;
                CBmpEncoder().Encode(picture, sink);
            } else {
                CAutoDetectDecoder().DecodeMemory(file.data(), int(file.size()), picture, 32);
            }
        } catch (const CTextException& e) {
            code = e.GetCode() == 10 ? 0 : 2;
        } catch (const std::bad_alloc&) {
            code = 3;
        }
        ::_exit(code);
    }
#endif
}

TEST(Trace, LinesUpToTheLevelGoToTheFile) {
    const std::string path = ::testing::TempDir() + "qm_trace_" + std::to_string(::getpid());
    std::remove(path.c_str());
    SetTraceFile(path);
    SetTraceLevel(2);
    CAutoDetectDecoder decoder;
    CMemoryBitmap bmp;
    BmpShape shape;
    shape.bitCount = 24;
    shape.pixels = {1, 2, 3, 0};
    const Bytes good = MakeBmp(shape);
    decoder.DecodeMemory(good.data(), int(good.size()), bmp, 0);
    const Bytes bad = {'B', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_THROW(CBmpDecoder().DecodeMemory(bad.data(), int(bad.size()), bmp, 0), CTextException);
    SetTraceFile("");
    SetTraceLevel(0);
    Trace(0, "not written\n");

    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::string memory = FormatText("--- Decoding from memory at %p. ---\n", good.data());
    EXPECT_EQ(text, memory +
                        "Windows bitmap recognized.\n"
                        "Bitmap file signature found\n"
                        "Bitmap header is ok.\n"
                        "Decoding true-color bitmap.\n" +
                        FormatText("--- Decoding from memory at %p. ---\n", bad.data()) +
                        "Decoder error: Bitmap decoder: This isn't a bitmap.\n");
    std::remove(path.c_str());
}

} // namespace

// A preview asks for a size; the factor must keep the fitted picture covered (never drawn
// enlarged) and no picture that fits is reduced.
TEST(ImageDecoderPreview, ReductionFactorCoversTheFittedSize) {
    const struct {
        int64_t width, height;
        int previewWidth, previewHeight, maxFactor, factor;
    } cases[] = {
        {12000, 9000, 150, 126, 8, 8}, // 1500 x 1125 still covers 150 x 113
        {1000, 600, 120, 100, 8, 8},   // 125 x 75 covers 120 x 72
        {1000, 600, 300, 300, 8, 2},   // 250 would fall short of 300
        {1000, 600, 300, 300, 1, 1},   // the codec allows no reduction
        {1001, 601, 120, 100, 8, 8},   // sizes round up: 126 x 76 covers 120 x 73
        {1001, 601, 127, 300, 8, 4},   // 126 < 127
        {40, 30, 100, 100, 8, 1},      // fits already
        {5000, 10, 100, 100, 8, 8},    // 625 x 2 covers 100 x 1 (height rounds up)
        {1000, 600, 0, 0, 8, 1},       // no preview size: whole
        {0, 600, 100, 100, 8, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CImageDecoder::ReductionFactor(c.width, c.height, c.previewWidth, c.previewHeight,
                                                 c.maxFactor),
                  c.factor)
            << c.width << " x " << c.height << " into " << c.previewWidth << " x "
            << c.previewHeight;
}

// Through the front end: JPEG takes the DCT scale, PNG keeps every factor-th pixel of every
// factor-th row, BMP stays whole; each tells the file's own size, and the same decoder
// decodes the next file whole again once the preview size is taken back.
TEST(ImageDecoderPreview, FormatsReduceAsTheyReadAndTellTheirOwnSize) {
    CMemoryBitmap picture;
    picture.Create(1000, 600, 32, false);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 1000; ++x)
            SetPixel32(picture, x, y,
                       0xFF000000u | uint32_t(x / 4 % 256) << 16 | uint32_t(y / 3 % 256) << 8 |
                           uint32_t((x + y) % 256));
    const auto encode = [&](CImageEncoder& encoder) {
        CTestSink sink(1 << 23);
        encoder.Encode(picture, sink);
        return sink.Written();
    };
    CJpegEncoder jpeg;
    jpeg.SetQuality(90);
    CPngEncoder png;
    CBmpEncoder bmp;
    const struct {
        const char* name;
        Bytes file;
        int width, height; // delivered for a 120 x 100 preview
    } cases[] = {
        {"jpeg", encode(jpeg), 125, 75},
        {"png", encode(png), 125, 75},
        {"bmp", encode(bmp), 1000, 600},
    };
    CAutoDetectDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryBitmap reduced, whole;
        decoder.SetPreviewSize(120, 100);
        decoder.DecodeMemory(c.file.data(), int(c.file.size()), reduced, 32);
        EXPECT_EQ(reduced.GetWidth(), c.width);
        EXPECT_EQ(reduced.GetHeight(), c.height);
        EXPECT_EQ(decoder.GetFullWidth(), 1000);
        EXPECT_EQ(decoder.GetFullHeight(), 600);
        decoder.SetPreviewSize(0, 0);
        decoder.DecodeMemory(c.file.data(), int(c.file.size()), whole, 32);
        ASSERT_EQ(whole.GetWidth(), 1000);
        ASSERT_EQ(whole.GetHeight(), 600);
        const int factor = 1000 / c.width;
        for (int y = 0; y < reduced.GetHeight(); y += 7)
            for (int x = 0; x < reduced.GetWidth(); x += 5) {
                const uint32_t r = reduced.GetPixel32(x, y);
                const uint32_t w = whole.GetPixel32(x * factor, y * factor);
                if (c.name == std::string("jpeg")) {
                    // The DC of the 8 x 8 block: its average, near the gradient there.
                    const uint32_t centre =
                        whole.GetPixel32(std::min(x * 8 + 4, 999), std::min(y * 8 + 4, 599));
                    EXPECT_NEAR(int(r >> 8 & 0xFF), int(centre >> 8 & 0xFF), 24) << x << "," << y;
                } else {
                    EXPECT_EQ(r, w) << x << "," << y;
                }
            }
    }
}
