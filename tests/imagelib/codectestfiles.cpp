#include "codectestfiles.h"

#include "imagelib/imagesource.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

// ---- JPEG

namespace {
void TestJpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<TestJpegError*>(cinfo->err)->jump, 1);
}
void TestJpegQuiet(j_common_ptr, int) {}

Bytes PatternSamples(const JpegShape& shape) {
    Bytes samples(size_t(shape.width) * shape.height * shape.components);
    size_t i = 0;
    for (int y = 0; y < shape.height; ++y)
        for (int x = 0; x < shape.width; ++x)
            for (int c = 0; c < shape.components; ++c)
                samples[i++] = uint8_t(40 + (x * 5 + y * 3 + c * 50) % 170);
    return samples;
}

// The whole compression in one frame without C++ objects, so the jump is harmless.
bool Compress(const JpegShape& shape, const uint8_t* samples, unsigned char** out,
              unsigned long* size) {
    jpeg_compress_struct cinfo;
    TestJpegError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = TestJpegErrorExit;
    jpeg_scan_info* scans = nullptr;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(scans);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, size);
    cinfo.image_width = JDIMENSION(shape.width);
    cinfo.image_height = JDIMENSION(shape.height);
    cinfo.input_components = shape.components;
    cinfo.in_color_space = shape.components == 1   ? JCS_GRAYSCALE
                           : shape.components == 4 ? JCS_CMYK
                                                   : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (shape.components == 4)
        jpeg_set_colorspace(&cinfo, shape.ycck ? JCS_YCCK : JCS_CMYK);
    jpeg_set_quality(&cinfo, shape.quality, TRUE);
    if (shape.components == 3) {
        cinfo.comp_info[0].h_samp_factor = shape.lumaH;
        cinfo.comp_info[0].v_samp_factor = shape.lumaV;
    }
    cinfo.arith_code = shape.arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = unsigned(shape.restartInterval);
    if (shape.progressive)
        jpeg_simple_progression(&cinfo);
    if (shape.singleCoefficientScans) {
        // A valid progression of 1 + 63 x components scans.
        const int count = 1 + 63 * shape.components;
        scans = static_cast<jpeg_scan_info*>(std::calloc(size_t(count), sizeof(jpeg_scan_info)));
        scans[0].comps_in_scan = shape.components;
        for (int c = 0; c < shape.components; ++c)
            scans[0].component_index[c] = c;
        int n = 1;
        for (int c = 0; c < shape.components; ++c)
            for (int k = 1; k < 64; ++k, ++n) {
                scans[n].comps_in_scan = 1;
                scans[n].component_index[0] = c;
                scans[n].Ss = k;
                scans[n].Se = k;
            }
        cinfo.scan_info = scans;
        cinfo.num_scans = count;
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const JpegMarkerShape& m : shape.markers)
        jpeg_write_marker(&cinfo, m.code, reinterpret_cast<const JOCTET*>(m.data.data()),
                          unsigned(m.data.size()));
    const size_t stride = size_t(shape.width) * shape.components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(scans);
    return true;
}
} // namespace

jpeg_error_mgr* QuietJumpingErrors(TestJpegError& error) {
    jpeg_std_error(&error.pub);
    error.pub.error_exit = TestJpegErrorExit;
    error.pub.emit_message = TestJpegQuiet;
    return &error.pub;
}

Bytes MakeJpeg(const JpegShape& shape) {
    const Bytes samples = shape.samples.empty() ? PatternSamples(shape) : shape.samples;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool ok = Compress(shape, samples.data(), &out, &size);
    Bytes result(out, out + (ok ? size : 0));
    std::free(out);
    if (!ok)
        throw std::runtime_error("libjpeg refused the test picture");
    return result;
}

std::vector<JpegSegment> ListJpegSegments(const Bytes& jpeg) {
    std::vector<JpegSegment> segments;
    size_t i = 0;
    while (i + 1 < jpeg.size() && jpeg[i] == 0xFF) {
        JpegSegment s;
        s.code = jpeg[i + 1];
        s.offset = i;
        if (s.code == 0xD8) {
            segments.push_back(s);
            i += 2;
            continue;
        }
        if (i + 3 >= jpeg.size())
            break;
        const size_t length = size_t(jpeg[i + 2]) << 8 | jpeg[i + 3];
        if (length < 2 || i + 2 + length > jpeg.size())
            break;
        s.data.assign(jpeg.begin() + long(i + 4), jpeg.begin() + long(i + 2 + length));
        segments.push_back(s);
        if (s.code == 0xDA)
            break;
        i += 2 + length;
    }
    return segments;
}

// ---- PNG

namespace {
void PngWriteBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}

bool WritePng(const PngShape& shape, png_bytep* rows, const png_color* palette, int paletteSize,
              Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, PngWriteBytes, PngFlush);
    png_set_IHDR(png, info, png_uint_32(shape.width), png_uint_32(shape.height), shape.bitDepth,
                 shape.colorType, shape.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletteSize > 0)
        png_set_PLTE(png, info, palette, paletteSize);
    if (!shape.transparency.empty())
        png_set_tRNS(png, info, shape.transparency.data(), int(shape.transparency.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}
} // namespace

Bytes MakePng(const PngShape& shape) {
    std::vector<Bytes> rows = shape.rows;
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows)
        pointers.push_back(row.data());
    std::vector<png_color> palette;
    for (uint32_t c : shape.palette)
        palette.push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
    Bytes out;
    if (!WritePng(shape, pointers.data(), palette.data(), int(palette.size()), &out))
        throw std::runtime_error("libpng refused the test picture");
    return out;
}

std::vector<PngChunk> ListPngChunks(const Bytes& png) {
    std::vector<PngChunk> chunks;
    size_t i = 8;
    while (i + 12 <= png.size()) {
        const size_t length =
            size_t(png[i]) << 24 | size_t(png[i + 1]) << 16 | size_t(png[i + 2]) << 8 | png[i + 3];
        if (i + 12 + length > png.size())
            break;
        PngChunk c;
        c.type.assign(reinterpret_cast<const char*>(&png[i + 4]), 4);
        c.data.assign(png.begin() + long(i + 8), png.begin() + long(i + 8 + length));
        c.offset = i;
        chunks.push_back(c);
        i += 12 + length;
    }
    return chunks;
}

void FixPngCrc(Bytes& png, size_t offset) {
    const size_t length = size_t(png[offset]) << 24 | size_t(png[offset + 1]) << 16 |
                          size_t(png[offset + 2]) << 8 | png[offset + 3];
    const uLong crc = crc32(0, &png[offset + 4], uInt(length + 4));
    uint8_t* p = &png[offset + 8 + length];
    p[0] = uint8_t(crc >> 24);
    p[1] = uint8_t(crc >> 16);
    p[2] = uint8_t(crc >> 8);
    p[3] = uint8_t(crc);
}

// ---- GIF

namespace {
int GifWriteBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

ColorMapObject* MakeMap(const std::vector<uint32_t>& colours) {
    if (colours.empty())
        return nullptr;
    std::vector<GifColorType> entries;
    for (uint32_t c : colours)
        entries.push_back({GifByteType(c >> 16), GifByteType(c >> 8), GifByteType(c)});
    return GifMakeMapObject(int(entries.size()), entries.data());
}

void Require(bool ok) {
    if (!ok)
        throw std::runtime_error("giflib refused the test picture");
}
} // namespace

Bytes MakeGif(const GifShape& shape) {
    const bool noMap =
        shape.globalMap.empty() &&
        std::all_of(shape.images.begin(), shape.images.end(),
                    [](const GifImageShape& image) { return image.localMap.empty(); });
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, GifWriteBytes, &error);
    Require(gif != nullptr);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(noMap ? std::vector<uint32_t>{0, 0xFFFFFF} : shape.globalMap);
    bool ok =
        EGifPutScreenDesc(gif, shape.width, shape.height, 8, shape.background, global) == GIF_OK;
    GifFreeMapObject(global);
    if (ok && shape.comment)
        ok = EGifPutComment(gif, "a comment") == GIF_OK;
    for (const GifImageShape& image : shape.images) {
        if (!ok)
            break;
        ColorMapObject* local = MakeMap(image.localMap);
        if (!local && gif->Image.ColorMap) {
            // giflib 5.2.1 drops the previous image's map here without freeing it.
            GifFreeMapObject(gif->Image.ColorMap);
            gif->Image.ColorMap = nullptr;
        }
        ok = EGifPutImageDesc(gif, image.left, image.top, image.width, image.height,
                              image.interlaced, local) == GIF_OK;
        GifFreeMapObject(local);
        // An interlaced image is stored in its pass order.
        std::vector<int> order;
        if (image.interlaced) {
            const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < image.height; y += step[pass])
                    order.push_back(y);
        } else {
            for (int y = 0; y < image.height; ++y)
                order.push_back(y);
        }
        for (int y : order) {
            if (!ok)
                break;
            Bytes row(image.pixels.begin() + long(y) * image.width,
                      image.pixels.begin() + long(y + 1) * image.width);
            ok = EGifPutLine(gif, row.data(), image.width) == GIF_OK;
        }
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    Require(ok);
    if (noMap) {
        // Drop the two-entry global map: flags byte 10, map at bytes 13 .. 18.
        out[10] &= 0x7F;
        out.erase(out.begin() + 13, out.begin() + 19);
    }
    return out;
}

// ---- shared

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TryDecode(CImageDecoder& decoder, const Bytes& bytes, CImageBitmap& bitmap, int bpp,
               CTextException* error) {
    try {
        decoder.DecodeMemory(bytes.data(), int(bytes.size()), bitmap, bpp);
        return true;
    } catch (const CTextException& e) {
        if (error)
            *error = e;
        return false;
    }
}

uint32_t ColourAt(const CImageBitmap& bitmap, int x, int y) {
    if (bitmap.GetBitsPerPixel() == 32)
        return bitmap.GetPixel32(x, y);
    return bitmap.GetPalette()[bitmap.GetLines()[y][x]];
}
