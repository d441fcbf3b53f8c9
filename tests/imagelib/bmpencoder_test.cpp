#include "bmpbytes.h"
#include "imagelib/bmpdecoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Encodes into a sink of exactly the encoder's file-sized buffer and returns the bytes.
class CMemorySink : public CImageSink {
public:
    explicit CMemorySink(int capacity) : m_storage(size_t(capacity), 0) {
        OpenCommon("memory", m_storage.data(), capacity);
    }
    Bytes Written() const { return Bytes(m_storage.begin(), m_storage.begin() + GetPosition()); }

private:
    Bytes m_storage;
};

Bytes Encode(const CImageBitmap& bmp, int capacity = 1 << 20) {
    CBmpEncoder encoder;
    CMemorySink sink(capacity);
    encoder.Encode(bmp, sink);
    return sink.Written();
}

Bytes Headers(uint32_t fileSize, uint32_t offset, int32_t width, int32_t height, uint16_t bits) {
    Bytes b = {'B', 'M'};
    Put32(b, fileSize);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));
    Put16(b, 1);
    Put16(b, bits);
    for (int i = 0; i < 6; ++i)
        Put32(b, 0);
    return b;
}

TEST(BmpEncoder, OneByOne32BitIs58Bytes) {
    CDIBSectionBitmap bmp;
    bmp.Create(1, 1, 32, false);
    SetPixel32(bmp, 0, 0, 0xFF332211u);
    Bytes expected = Headers(58, 54, 1, 1, 24);
    Append(expected, {0x11, 0x22, 0x33, 0x00});
    EXPECT_EQ(Encode(bmp), expected);
}

TEST(BmpEncoder, FourWideRowsNeedNoPaddingAndRunBottomUp) {
    CMemoryBitmap bmp;
    bmp.Create(4, 2, 32, true); // alpha is never written
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel32(bmp, x, y, Bgra(uint8_t(x), uint8_t(y), 0x80, uint8_t(x * 60)));
    Bytes expected = Headers(54 + 24, 54, 4, 2, 24);
    for (int y : {1, 0})
        for (int x = 0; x < 4; ++x)
            Append(expected, {uint8_t(x), uint8_t(y), 0x80});
    EXPECT_EQ(Encode(bmp), expected);

    CMemoryBitmap opaque;
    opaque.ConvertFrom(bmp, 0);
    opaque.SetHasAlpha(false);
    EXPECT_EQ(Encode(opaque), expected);
}

TEST(BmpEncoder, PaletteBitmapsCarryTheirPaletteAndPaddedRows) {
    struct Case {
        int bpp;
        uint32_t offset;
    };
    for (Case c : {Case{8, 1078}, Case{1, 62}}) {
        CMemoryBitmap bmp;
        bmp.Create(3, 2, uint16_t(c.bpp), false);
        bmp.GetPalette()[1] = 0x80123456u;
        const Bytes file = Encode(bmp);
        ASSERT_EQ(file.size(), c.offset + 2 * 4);
        EXPECT_EQ(file[10] | file[11] << 8, int(c.offset));
        EXPECT_EQ(file[28], c.bpp);
        EXPECT_EQ(Bytes(file.begin() + 58, file.begin() + 62), (Bytes{0x56, 0x34, 0x12, 0x80}));
    }
}

// Decoding what was encoded gives the same picture, for every depth.
TEST(BmpEncoder, RoundTripsThroughTheDecoder) {
    for (int bpp : {1, 8, 32}) {
        SCOPED_TRACE(bpp);
        CDIBBitmap source;
        source.Create(7, 5, uint16_t(bpp), false);
        for (int y = 0; y < 5; ++y) {
            uint8_t* line = source.GetLines()[y];
            for (int x = 0; x < 7; ++x) {
                const int v = x * 31 + y * 17;
                if (bpp == 1)
                    line[x >> 3] |= uint8_t(((v >> 3) & 1) << (7 - (x & 7)));
                else if (bpp == 8)
                    line[x] = uint8_t(v);
                else
                    SetPixel32(source, x, y, Bgra(uint8_t(v), uint8_t(v * 3), uint8_t(v * 7), 255));
            }
        }
        if (bpp <= 8)
            source.GetPalette()[1] = 0xFF00FF00u;
        const Bytes file = Encode(source);

        CBmpDecoder decoder;
        CMemoryBitmap decoded;
        decoder.DecodeMemory(file.data(), int(file.size()), decoded, 0);
        ASSERT_EQ(decoded.GetWidth(), 7);
        ASSERT_EQ(decoded.GetHeight(), 5);
        CMemoryBitmap a, b;
        a.ConvertFrom(source, 32);
        b.ConvertFrom(decoded, 32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(a.GetPixel32(x, y), b.GetPixel32(x, y)) << x << "," << y;
    }
}

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "qm_bmpenc_" + std::to_string(::getpid()) + "_" + name;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(BmpEncoder, EncodeFileWritesTheWholeFile) {
    CDIBSectionBitmap bmp;
    bmp.Create(190, 3, 32, false);
    Fill32(bmp, 0xFF102030u);
    const std::string path = TempPath("whole.bmp");
    CBmpEncoder().EncodeFile(path, bmp);
    const Bytes file = ReadFile(path);
    EXPECT_EQ(file.size(), 54u + 3u * 572u);
    EXPECT_EQ(file, Encode(bmp));
    std::remove(path.c_str());
}

// Unpadded memory rows outgrow the memory estimate once padded in the file.
TEST(BmpEncoder, TallNarrowMemoryBitmapFitsItsBuffer) {
    CMemoryBitmap bmp;
    bmp.Create(1, 200000, 8, false);
    CBmpEncoder encoder;
    ASSERT_GT(54 + 1024 + 4 * 200000, bmp.GetMemoryUsed());
    EXPECT_GE(encoder.GetSinkCapacity(bmp), 54 + 1024 + 4 * 200000);
    const std::string path = TempPath("tall.bmp");
    encoder.EncodeFile(path, bmp);
    EXPECT_EQ(ReadFile(path).size(), size_t(54 + 1024 + 4 * 200000));
    std::remove(path.c_str());
}

TEST(BmpEncoder, OverflowOfASmallSinkIsCode11) {
    CDIBBitmap bmp;
    bmp.Create(4, 4, 32, false);
    CBmpEncoder encoder;
    CMemorySink sink(54 + 12 * 3); // one row short
    try {
        encoder.Encode(bmp, sink);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 11);
        EXPECT_EQ(e.GetText(), "Buffer overflow while encoding.\n");
    }
    EXPECT_EQ(sink.GetPosition(), 54 + 12 * 3);
}

} // namespace
