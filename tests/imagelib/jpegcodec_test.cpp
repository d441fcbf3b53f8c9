#include "codectestfiles.h"
#include "imagelib/imagesource.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

namespace {

using namespace std::string_literals;

constexpr int kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED, kCom = 0xFE;

Bytes Encode(CJpegEncoder& encoder, const CImageBitmap& bitmap, int capacity = 1 << 22) {
    CTestSink sink(capacity);
    encoder.Encode(bitmap, sink);
    return sink.Written();
}

Bytes Flat(int width, int height, std::initializer_list<uint8_t> sample) {
    Bytes samples;
    for (int i = 0; i < width * height; ++i)
        samples.insert(samples.end(), sample);
    return samples;
}

int Channel(uint32_t pixel, int shift) {
    return int(pixel >> shift & 0xFF);
}

void ExpectNear(uint32_t pixel, int red, int green, int blue, int tolerance) {
    EXPECT_NEAR(Channel(pixel, 16), red, tolerance) << std::hex << pixel;
    EXPECT_NEAR(Channel(pixel, 8), green, tolerance) << std::hex << pixel;
    EXPECT_NEAR(Channel(pixel, 0), blue, tolerance) << std::hex << pixel;
}

TEST(JpegDecoder, GreyscaleDecodesTo8BitsOrOnRequestToEqual32BitChannels) {
    JpegShape shape;
    shape.components = 1;
    const Bytes jpeg = MakeJpeg(shape);
    CJpegDecoder decoder;
    CMemoryBitmap reference;
    ASSERT_TRUE(TryDecode(decoder, jpeg, reference, 8));

    for (int request : {0, 8, 32}) {
        SCOPED_TRACE(request);
        CMemoryBitmap bitmap;
        ASSERT_TRUE(TryDecode(decoder, jpeg, bitmap, request));
        EXPECT_EQ(bitmap.GetWidth(), 16);
        EXPECT_FALSE(bitmap.HasAlpha());
        if (request == 32) {
            ASSERT_EQ(bitmap.GetBitsPerPixel(), 32);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(bitmap.GetPixel32(x, y),
                              0xFF000000u | reference.GetLines()[y][x] * 0x010101u);
        } else {
            ASSERT_EQ(bitmap.GetBitsPerPixel(), 8);
            for (uint32_t i = 0; i < 256; ++i)
                ASSERT_EQ(bitmap.GetPalette()[i], 0xFF000000u | i * 0x010101u);
        }
    }
    // The grey samples themselves follow the picture.
    EXPECT_NEAR(reference.GetLines()[0][0], 40, 6);
}

TEST(JpegDecoder, ColourDecodesTo32BitsWhateverTheRequest) {
    JpegShape shape;
    shape.quality = 100;
    shape.samples = Flat(16, 16, {200, 100, 30});
    const Bytes jpeg = MakeJpeg(shape);
    CJpegDecoder decoder;
    for (int request : {0, 8, 32}) {
        SCOPED_TRACE(request);
        CMemoryBitmap bitmap;
        ASSERT_TRUE(TryDecode(decoder, jpeg, bitmap, request));
        ASSERT_EQ(bitmap.GetBitsPerPixel(), 32);
        EXPECT_FALSE(bitmap.HasAlpha());
        ExpectNear(bitmap.GetPixel32(7, 9), 200, 100, 30, 2);
    }
}

TEST(JpegDecoder, CmykAndYcckBecomeRgb) {
    // Stored as libjpeg writes Adobe CMYK: inverted, 255 = no ink.
    const struct {
        std::initializer_list<uint8_t> cmyk;
        int red, green, blue;
    } cases[] = {
        {{255, 0, 255, 255}, 255, 0, 255}, // full magenta ink
        {{0, 255, 255, 255}, 0, 255, 255}, // full cyan ink
        {{255, 255, 255, 128}, 128, 128, 128},
        {{255, 255, 255, 0}, 0, 0, 0}, // full black
    };
    CJpegDecoder decoder;
    for (bool ycck : {false, true})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "ycck " << ycck << " red " << c.red);
            JpegShape shape;
            shape.components = 4;
            shape.ycck = ycck;
            shape.quality = 100;
            shape.samples = Flat(16, 16, c.cmyk);
            CMemoryBitmap bitmap;
            ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), bitmap, 0));
            ASSERT_EQ(bitmap.GetBitsPerPixel(), 32);
            ExpectNear(bitmap.GetPixel32(5, 5), c.red, c.green, c.blue, 3);
            EXPECT_EQ(bitmap.GetPixel32(5, 5) >> 24, 0xFFu);
        }
}

JpegShape WithMarkers() {
    JpegShape shape;
    shape.markers = {{kApp1, "Exif\0\0first"s},
                     {kApp1, "http://ns.adobe.com/xap/1.0/\0<x/>"s},
                     {kApp13, "Photoshop 3.0\0IPTC"s},
                     {kCom, "a comment"s},
                     {kApp2, "ICC_PROFILE\0\1\1"s}};
    return shape;
}

std::vector<std::pair<int, std::string>> MarkerList(const CImageBitmap& bitmap) {
    std::vector<std::pair<int, std::string>> out;
    for (const CSavedMarker* m = bitmap.GetMarkers(); m; m = m->next.get()) {
        EXPECT_EQ(m->originalLength, m->dataLength);
        out.emplace_back(m->marker,
                         std::string(reinterpret_cast<const char*>(m->data.get()), m->dataLength));
    }
    return out;
}

TEST(JpegMarkers, App1App13AndComAreKeptWholeInFileOrder) {
    const JpegShape shape = WithMarkers();
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), bitmap, 32));
    const std::vector<std::pair<int, std::string>> expected = {{kApp1, shape.markers[0].data},
                                                               {kApp1, shape.markers[1].data},
                                                               {kApp13, shape.markers[2].data},
                                                               {kCom, shape.markers[3].data}};
    EXPECT_EQ(MarkerList(bitmap), expected);

    // A new decode replaces the list; a file without markers leaves it empty.
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(JpegShape()), bitmap, 32));
    EXPECT_EQ(bitmap.GetMarkers(), nullptr);
}

TEST(JpegMarkers, ReEncodingWritesThemAfterTheJfifHeaderOrNoneWhenEmptied) {
    const JpegShape shape = WithMarkers();
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), bitmap, 32));
    CJpegEncoder encoder;

    std::vector<JpegSegment> segments = ListJpegSegments(Encode(encoder, bitmap));
    ASSERT_GE(segments.size(), 7u);
    const int expectedCodes[] = {0xD8, 0xE0, kApp1, kApp1, kApp13, kCom, 0xDB};
    for (size_t i = 0; i < std::size(expectedCodes); ++i)
        EXPECT_EQ(segments[i].code, expectedCodes[i]) << i;
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(std::string(segments[i + 2].data.begin(), segments[i + 2].data.end()),
                  shape.markers[i].data);
    // The JFIF header is libjpeg's new one.
    EXPECT_EQ(std::string(segments[1].data.begin(), segments[1].data.begin() + 5),
              std::string("JFIF\0", 5));

    bitmap.FreeMarkers();
    segments = ListJpegSegments(Encode(encoder, bitmap));
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(segments[0].code, 0xD8);
    EXPECT_EQ(segments[1].code, 0xE0);
    EXPECT_EQ(segments[2].code, 0xDB);
}

TEST(JpegMarkers, LongestPossibleMarkerSurvivesTheRoundTrip) {
    JpegShape shape;
    std::string big(65533, 'x');
    big.replace(0, 5, std::string("Exif\0", 5));
    shape.markers = {{kApp1, big}};
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), bitmap, 32));
    ASSERT_NE(bitmap.GetMarkers(), nullptr);
    EXPECT_EQ(bitmap.GetMarkers()->dataLength, 65533u);
    CJpegEncoder encoder;
    CMemoryBitmap again;
    ASSERT_TRUE(TryDecode(decoder, Encode(encoder, bitmap), again, 32));
    EXPECT_EQ(MarkerList(again), MarkerList(bitmap));
}

std::vector<Bytes> QuantisationTables(const Bytes& jpeg) {
    std::vector<Bytes> tables;
    for (const JpegSegment& s : ListJpegSegments(jpeg))
        if (s.code == 0xDB)
            for (size_t i = 0; i + 65 <= s.data.size(); i += 65)
                tables.emplace_back(s.data.begin() + long(i + 1), s.data.begin() + long(i + 65));
    return tables;
}

TEST(JpegEncoder, QualityZeroIsLibjpegDefaultAndExtremesClampTheTables) {
    CMemoryBitmap bitmap;
    bitmap.Create(24, 16, 32, false);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            SetPixel32(bitmap, x, y, Bgra(uint8_t(x * 10), uint8_t(y * 15), 90, 255));
    CJpegEncoder encoder;
    EXPECT_EQ(encoder.GetQuality(), 0);
    const Bytes byDefault = Encode(encoder, bitmap);
    encoder.SetQuality(75);
    EXPECT_EQ(Encode(encoder, bitmap), byDefault);

    const struct {
        int quality;
        uint8_t everyValue;
    } cases[] = {{100, 1}, {1, 255}};
    for (const auto& c : cases) {
        encoder.SetQuality(c.quality);
        const std::vector<Bytes> tables = QuantisationTables(Encode(encoder, bitmap));
        ASSERT_EQ(tables.size(), 2u) << c.quality;
        for (const Bytes& table : tables)
            EXPECT_EQ(table, Bytes(64, c.everyValue)) << c.quality;
    }
}

TEST(JpegEncoder, AlphaIsNeverEncodedAndPaletteBitmapsUseTheirColours) {
    CMemoryBitmap opaque, clear;
    opaque.Create(8, 8, 32, true);
    clear.Create(8, 8, 32, true);
    Fill32(opaque, Bgra(30, 100, 200, 255));
    Fill32(clear, Bgra(30, 100, 200, 0));
    CJpegEncoder encoder;
    encoder.SetQuality(100);
    const Bytes fromOpaque = Encode(encoder, opaque);
    EXPECT_EQ(Encode(encoder, clear), fromOpaque);

    CMemoryBitmap indexed;
    indexed.Create(8, 8, 8, false);
    indexed.GetPalette()[0] = Bgra(30, 100, 200, 255);
    EXPECT_EQ(Encode(encoder, indexed), fromOpaque);

    CJpegDecoder decoder;
    CMemoryBitmap decoded;
    ASSERT_TRUE(TryDecode(decoder, fromOpaque, decoded, 32));
    ExpectNear(decoded.GetPixel32(3, 3), 200, 100, 30, 2);
}

TEST(JpegEncoder, FullSinkRaisesCode11AndLibjpegErrorsCode6WithTheEncoderStillUsable) {
    CMemoryBitmap bitmap;
    bitmap.Create(64, 64, 32, false);
    CJpegEncoder encoder;
    try {
        Encode(encoder, bitmap, 100);
        FAIL() << "no overflow";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 11);
        EXPECT_EQ(e.GetText(), "Buffer overflow while encoding.\n");
    }
    CMemoryBitmap tooWide;
    tooWide.Create(70000, 1, 32, false);
    try {
        Encode(encoder, tooWide);
        FAIL() << "libjpeg took a 70000-pixel row";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 6);
        EXPECT_EQ(e.GetText(),
                  "Decoder error: Maximum supported image dimension is 65500 pixels\n\n");
    }
    EXPECT_GT(Encode(encoder, bitmap).size(), 100u);
}

TEST(JpegEncoder, FrontEndBufferHoldsTheMarkersOfASmallPicture) {
    JpegShape shape;
    shape.width = shape.height = 8;
    for (char fill : {'a', 'b', 'c'})
        shape.markers.push_back({kApp1, "Exif\0\0"s + std::string(65000, fill)});
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), bitmap, 32));
    CJpegEncoder encoder;
    encoder.SetQuality(100);
    const Bytes jpeg = Encode(encoder, bitmap, encoder.GetSinkCapacity(bitmap));
    CMemoryBitmap again;
    ASSERT_TRUE(TryDecode(decoder, jpeg, again, 32));
    EXPECT_EQ(MarkerList(again), MarkerList(bitmap));

    // Noise at quality 100, the worst case for the entropy coder.
    CMemoryBitmap noise;
    noise.Create(33, 17, 32, false);
    uint32_t state = 1;
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            SetPixel32(noise, x, y, state = state * 1664525u + 1013904223u);
    EXPECT_NO_THROW(Encode(encoder, noise, encoder.GetSinkCapacity(noise)));
}

// A file cut inside its picture (a copy still being written, a card read cut short) must
// not pass for the photo with libjpeg's grey in its lower part; one that lacks only its
// end marker, or carries stray bytes libjpeg skips, is complete. libjpeg's warnings never
// reach standard error.
TEST(JpegDecoder, AFileCutInsideItsPictureFailsAndOnlyThat) {
    JpegShape shape;
    shape.width = 64;
    shape.height = 64;
    JpegShape progressiveShape = shape;
    progressiveShape.progressive = true;
    const Bytes whole = MakeJpeg(shape);
    const Bytes progressive = MakeJpeg(progressiveShape);
    auto cut = [](const Bytes& bytes, size_t keep) {
        return Bytes(bytes.begin(), bytes.begin() + long(keep));
    };
    Bytes stray = cut(whole, whole.size() - 2);
    for (uint8_t b : {0x12, 0x34, 0x56, 0xFF, 0xD9})
        stray.push_back(b);
    // The last scan of the progressive file starts at its last SOS marker.
    size_t lastScan = 0;
    for (size_t i = 0; i + 1 < progressive.size(); ++i)
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA)
            lastScan = i;
    ASSERT_GT(lastScan, 0u);
    const struct {
        const char* what;
        Bytes bytes;
        bool complete;
        bool sameAsWhole; // every pixel of the whole baseline file
    } cases[] = {
        {"whole", whole, true, true},
        {"without its end marker", cut(whole, whole.size() - 2), true, true},
        {"stray bytes before the end marker", stray, true, true},
        {"progressive without its end marker", cut(progressive, progressive.size() - 2), true,
         false},
        {"cut in half", cut(whole, whole.size() / 2), false, false},
        {"cut a few bytes into the scan", cut(whole, whole.size() - 40), false, false},
        {"progressive cut in half", cut(progressive, progressive.size() / 2), false, false},
        {"progressive without its last scan", cut(progressive, lastScan), false, false},
    };
    CJpegDecoder decoder;
    CMemoryBitmap reference;
    ASSERT_TRUE(TryDecode(decoder, whole, reference, 32));
    for (const auto& c : cases)
        for (const int preview : {0, 8}) {
            SCOPED_TRACE(std::string(c.what) + (preview ? ", preview at 1/8" : ""));
            decoder.SetPreviewSize(preview, preview);
            CMemoryBitmap bitmap;
            CTextException error(0, "");
            testing::internal::CaptureStderr();
            const bool decoded = TryDecode(decoder, c.bytes, bitmap, 32, &error);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            EXPECT_EQ(decoded, c.complete) << error.GetText();
            if (!c.complete) {
                EXPECT_EQ(error.GetCode(), 6);
                EXPECT_EQ(error.GetText(), "Decoder error: Premature end of JPEG file\n");
            } else if (preview == 0 && c.sameAsWhole) {
                for (int y = 0; y < 64; y += 9)
                    for (int x = 0; x < 64; x += 7)
                        ASSERT_EQ(bitmap.GetPixel32(x, y), reference.GetPixel32(x, y));
            }
        }
}

TEST(JpegDecoder, LibjpegErrorsRaiseCode6WithPrefixAndLeaveTheDecoderUsable) {
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    CTextException error(0, "");
    const Bytes notJpeg = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03, 0x04, 0x05};
    ASSERT_FALSE(TryDecode(decoder, notJpeg, bitmap, 32, &error));
    EXPECT_EQ(error.GetCode(), 6);
    EXPECT_EQ(error.GetText().rfind("Decoder error: ", 0), 0u) << error.GetText();
    EXPECT_EQ(error.GetText().substr(error.GetText().size() - 2), "\n\n");

    const Bytes empty = {0xFF, 0xD8};
    ASSERT_FALSE(TryDecode(decoder, empty, bitmap, 32, &error));
    EXPECT_EQ(error.GetText(), "Decoder error: JPEG datastream contains no image\n\n");
    EXPECT_TRUE(TryDecode(decoder, MakeJpeg(JpegShape()), bitmap, 32));
}

TEST(JpegDecoder, TablesOfAnEarlierFileAreNotLentToTheNext) {
    const Bytes good = MakeJpeg(JpegShape());
    Bytes withoutTables;
    for (const JpegSegment& s : ListJpegSegments(good))
        if (s.code == 0xDB) {
            withoutTables = good;
            withoutTables.erase(withoutTables.begin() + long(s.offset),
                                withoutTables.begin() + long(s.offset + 4 + s.data.size()));
            break;
        }
    ASSERT_FALSE(withoutTables.empty());
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    ASSERT_TRUE(TryDecode(decoder, good, bitmap, 32));
    CTextException error(0, "");
    ASSERT_FALSE(TryDecode(decoder, withoutTables, bitmap, 32, &error));
    EXPECT_EQ(error.GetText(), "Decoder error: Quantization table 0x00 was not defined\n\n");
}

TEST(JpegDecoder, HugeDeclaredSizeRaisesCode10BeforeAllocating) {
    Bytes jpeg = MakeJpeg(JpegShape());
    for (const JpegSegment& s : ListJpegSegments(jpeg))
        if (s.code == 0xC0) {
            // SOF0: precision, height, width.
            const size_t at = s.offset + 5;
            jpeg[at] = 0xEA; // 60000
            jpeg[at + 1] = 0x60;
            jpeg[at + 2] = 0xEA;
            jpeg[at + 3] = 0x60;
        }
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    CTextException error(0, "");
    ASSERT_FALSE(TryDecode(decoder, jpeg, bitmap, 32, &error));
    EXPECT_EQ(error.GetCode(), 10);
    EXPECT_EQ(error.GetText(), "picture too large: 60000 x 60000\n");
}

TEST(JpegDecoder, ProgressiveFilesDecodeButEndlessScansAreCutShort) {
    CJpegDecoder decoder;
    CMemoryBitmap progressive, baseline;
    JpegShape shape;
    shape.quality = 100;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), baseline, 32));
    shape.progressive = true;
    ASSERT_TRUE(TryDecode(decoder, MakeJpeg(shape), progressive, 32));
    for (int x = 0; x < 16; ++x)
        EXPECT_NEAR(Channel(progressive.GetPixel32(x, 5), 8), Channel(baseline.GetPixel32(x, 5), 8),
                    2);

    shape.singleCoefficientScans = true; // 190 scans
    CTextException error(0, "");
    ASSERT_FALSE(TryDecode(decoder, MakeJpeg(shape), progressive, 32, &error));
    EXPECT_EQ(error.GetCode(), 6);
    EXPECT_EQ(error.GetText(), "Decoder error: Progressive JPEG image has more than 100 scans\n\n");
}

TEST(JpegDecoder, FloodOfCorruptDataWarningsIsCutShort) {
    // 20000 restart intervals of one MCU each, every restart marker numbered wrong: libjpeg
    // warns at each of them.
    JpegShape shape;
    shape.components = 1;
    shape.width = 1600;
    shape.height = 800;
    shape.restartInterval = 1;
    Bytes jpeg = MakeJpeg(shape);
    size_t start = 0;
    for (const JpegSegment& s : ListJpegSegments(jpeg))
        if (s.code == 0xDA)
            start = s.offset + 4 + s.data.size();
    int renumbered = 0;
    for (size_t i = start; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7) {
            jpeg[i + 1] = uint8_t(0xD0 + (jpeg[i + 1] - 0xD0 + 4) % 8);
            ++renumbered;
        }
    ASSERT_GT(renumbered, 15000);
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;
    CTextException error(0, "");
    ASSERT_FALSE(TryDecode(decoder, jpeg, bitmap, 32, &error));
    EXPECT_EQ(error.GetCode(), 6);
    EXPECT_NE(error.GetText().find("Corrupt JPEG data"), std::string::npos) << error.GetText();
}

class RecordingNotification : public CProgressNotification {
public:
    std::vector<double> fractions;
    bool fail = false;
    // A cancel throws on every report, the one of a closing source included.
    void OnProgress(double fraction) override {
        fractions.push_back(fraction);
        if (fail)
            throw CTextException(42, "cancelled");
    }
};

TEST(JpegDecoder, ProgressReachesTheSourceAndItsExceptionsPassThrough) {
    JpegShape shape;
    shape.width = 256;
    shape.height = 256;
    shape.progressive = true;
    const Bytes jpeg = MakeJpeg(shape);
    CJpegDecoder decoder;
    CMemoryBitmap bitmap;

    RecordingNotification notification;
    CMemorySource source(&notification);
    source.Open(jpeg.data(), int(jpeg.size()));
    decoder.Decode(source, bitmap, 32);
    ASSERT_GT(notification.fractions.size(), 4u);
    for (size_t i = 1; i < notification.fractions.size(); ++i)
        EXPECT_GE(notification.fractions[i], notification.fractions[i - 1]);
    EXPECT_LE(notification.fractions.back(), 1.0);

    RecordingNotification failing;
    failing.fail = true;
    CMemorySource second(&failing);
    second.Open(jpeg.data(), int(jpeg.size()));
    try {
        decoder.Decode(second, bitmap, 32);
        FAIL() << "the notification's exception was lost";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 42);
    }
    EXPECT_EQ(bitmap.GetAccessCount(), 0);
    EXPECT_TRUE(TryDecode(decoder, jpeg, bitmap, 32));
}

} // namespace
