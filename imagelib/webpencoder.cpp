#include "imagelib/webpencoder.h"

#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* EncodingErrorText(WebPEncodingError error) {
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return "the picture's size cannot be written";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
        return "a partition is too big; try a lower quality";
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return "the file would be bigger than 4 GB";
    case VP8_ENC_ERROR_INVALID_CONFIGURATION:
        return "invalid configuration";
    default:
        return "encoding failed";
    }
}

struct PictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};
struct WriterClear {
    void operator()(WebPMemoryWriter* writer) const { WebPMemoryWriterClear(writer); }
};
struct MuxDelete {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

void Write(CImageSink& sink, const uint8_t* data, size_t size) {
    if (size > size_t(INT_MAX) ||
        sink.WriteBytes(int(size), const_cast<uint8_t*>(data)) != int(size))
        throw CTextException(11, "Buffer overflow while encoding.\n");
}

} // namespace

int64_t CWebpEncoder::MaxEncodedSize(const CImageBitmap& bitmap) const {
    // Lossy WebP stays well below the raw pixels (alpha included); the chunks around it,
    // the EXIF block and the profile come on top.
    int64_t size = int64_t(bitmap.GetWidth()) * bitmap.GetHeight() * 4 + 4096;
    if (const CSavedMarker* exif = FindExifMarker(bitmap.GetMarkers()))
        size += exif->dataLength + 16;
    return size + int64_t(bitmap.GetIccProfile().size()) + 16;
}

void CWebpEncoder::EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) {
    CMemoryBitmap converted;
    const CImageBitmap* pixels = &bitmap;
    if (bitmap.GetBitsPerPixel() != 32) {
        if (bitmap.GetBitsPerPixel() != 1 && bitmap.GetBitsPerPixel() != 8)
            RaiseDecoderError(6, "WebP encoder: Unsupported bit depth.");
        converted.ConvertFrom(bitmap, 32);
        pixels = &converted;
    }
    const int width = pixels->GetWidth();
    const int height = pixels->GetHeight();
    if (width < 1 || height < 1 || width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
        RaiseDecoderError(6, "WebP encoder: a picture of " + std::to_string(width) + " x " +
                                 std::to_string(height) +
                                 " pixels cannot be written (at most 16383 a side).");
    WebPConfig config;
    if (!WebPConfigInit(&config))
        RaiseDecoderError(6, "WebP encoder: library version mismatch");
    config.quality = float(m_quality == 0 ? 75 : m_quality);
    config.method = kMethod;
    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        RaiseDecoderError(6, "WebP encoder: library version mismatch");
    std::unique_ptr<WebPPicture, PictureFree> pictureFree(&picture);
    picture.width = width;
    picture.height = height;
    // Rows go in as they lie, top row first, either way round in memory.
    const uint8_t* const* lines = pixels->GetLines();
    const int stride = height > 1 ? int(lines[1] - lines[0]) : width * 4;
    auto& access = const_cast<CImageBitmap&>(*pixels);
    access.BeginAccess(true, false);
    const int imported = pixels->HasAlpha() ? WebPPictureImportBGRA(&picture, lines[0], stride)
                                            : WebPPictureImportBGRX(&picture, lines[0], stride);
    access.EndAccess();
    if (!imported)
        throw CTextException(10, "Out of memory.");

    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    std::unique_ptr<WebPMemoryWriter, WriterClear> writerClear(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    if (!WebPEncode(&config, &picture))
        RaiseDecoderError(6, std::string("WebP encoder: ") + EncodingErrorText(picture.error_code));
    pictureFree.reset();

    const CSavedMarker* exif = FindExifMarker(bitmap.GetMarkers());
    const std::vector<uint8_t>& profile = bitmap.GetIccProfile();
    const bool withProfile = IsRgbIccProfile(profile);
    if (!exif && !withProfile) {
        Write(sink, writer.mem, writer.size);
        return;
    }
    // The chunks around the picture: the muxer writes the extended header that names them.
    std::unique_ptr<WebPMux, MuxDelete> mux(WebPMuxNew());
    if (!mux)
        throw CTextException(10, "Out of memory.");
    const WebPData image{writer.mem, writer.size};
    if (WebPMuxSetImage(mux.get(), &image, 0) != WEBP_MUX_OK)
        RaiseDecoderError(6, "WebP encoder: the picture cannot be wrapped");
    std::vector<uint8_t> exifPayload;
    if (exif) {
        exifPayload = UprightExifPayload(*exif);
        const WebPData chunk{exifPayload.data(), exifPayload.size()};
        if (WebPMuxSetChunk(mux.get(), "EXIF", &chunk, 0) != WEBP_MUX_OK)
            RaiseDecoderError(6, "WebP encoder: the EXIF chunk cannot be written");
    }
    if (withProfile) {
        const WebPData chunk{profile.data(), profile.size()};
        if (WebPMuxSetChunk(mux.get(), "ICCP", &chunk, 0) != WEBP_MUX_OK)
            RaiseDecoderError(6, "WebP encoder: the ICCP chunk cannot be written");
    }
    WebPData assembled{nullptr, 0};
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        RaiseDecoderError(6, "WebP encoder: the file cannot be assembled");
    }
    struct DataClear {
        WebPData* data;
        ~DataClear() { WebPDataClear(data); }
    } clear{&assembled};
    Write(sink, assembled.bytes, assembled.size);
}
