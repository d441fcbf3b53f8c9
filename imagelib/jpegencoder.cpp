#include "imagelib/jpegencoder.h"

#include "imagelib/iccprofile.h"
#include "imagelib/jpegerrormanager.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <jerror.h>

namespace {
constexpr size_t kBufferSize = 8192;

struct CJpegDestination {
    jpeg_destination_mgr pub; // first, so that cinfo->dest points at the whole record
    CImageSink* sink = nullptr;
    JOCTET* buffer = nullptr;
};

CJpegDestination& DestinationOf(j_compress_ptr cinfo) {
    return *reinterpret_cast<CJpegDestination*>(cinfo->dest);
}

// Hands count bytes of the buffer to the sink. A full sink throws code 11, which travels
// past libjpeg to EncodeBody; a sink that takes fewer bytes is libjpeg's write error.
void WriteToSink(j_compress_ptr cinfo, size_t count) {
    CJpegDestination& dest = DestinationOf(cinfo);
    int written = 0;
    try {
        written = dest.sink->WriteBytes(int(count), dest.buffer);
    } catch (...) {
        KeepPendingException(reinterpret_cast<j_common_ptr>(cinfo));
    }
    if (reinterpret_cast<CJpegErrorManager*>(cinfo->err)->pending)
        JumpOnJpegError(reinterpret_cast<j_common_ptr>(cinfo), "");
    if (written != int(count))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr cinfo) {
    CJpegDestination& dest = DestinationOf(cinfo);
    dest.buffer = static_cast<JOCTET*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kBufferSize));
    dest.pub.next_output_byte = dest.buffer;
    dest.pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    WriteToSink(cinfo, kBufferSize);
    CJpegDestination& dest = DestinationOf(cinfo);
    dest.pub.next_output_byte = dest.buffer;
    dest.pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    const size_t pending = kBufferSize - DestinationOf(cinfo).pub.free_in_buffer;
    if (pending > 0)
        WriteToSink(cinfo, pending);
}
} // namespace

int64_t CJpegEncoder::MaxEncodedSize(const CImageBitmap& bitmap) const {
    // Entropy-coded data stays below 6 bytes a pixel of the MCU-padded picture even for
    // noise at quality 100; headers and tables fit in 2 KB.
    const int64_t width = (int64_t(bitmap.GetWidth()) + 15) & ~int64_t(15);
    const int64_t height = (int64_t(bitmap.GetHeight()) + 15) & ~int64_t(15);
    int64_t size = width * height * 6 + 2048;
    for (const CSavedMarker* m = bitmap.GetMarkers(); m; m = m->next.get())
        size += 4 + int64_t(m->dataLength);
    const int64_t profile = int64_t(bitmap.GetIccProfile().size());
    size += profile + (profile / int64_t(kMaxIccChunkData) + 1) * 18;
    return size;
}

struct CJpegEncoder::CState {
    jpeg_compress_struct cinfo;
    CJpegErrorManager error;
    CJpegDestination destination;
};

CJpegEncoder::CJpegEncoder() : m_state(std::make_unique<CState>()) {
    CState& s = *m_state;
    InstallJpegErrorManager(s.error, 0);
    s.cinfo.err = &s.error.pub;
    if (setjmp(s.error.jump))
        throw CTextException(10, "Out of memory.");
    jpeg_CreateCompress(&s.cinfo, 62, sizeof(jpeg_compress_struct));
    s.destination.pub.init_destination = InitDestination;
    s.destination.pub.empty_output_buffer = EmptyOutputBuffer;
    s.destination.pub.term_destination = TermDestination;
}

CJpegEncoder::~CJpegEncoder() {
    jpeg_destroy_compress(&m_state->cinfo);
}

void CJpegEncoder::EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) {
    // Palette bitmaps are written through their colours; the rows below read 4 bytes a
    // pixel. The marker list stays with the caller's bitmap.
    CMemoryBitmap converted;
    const bool deep = bitmap.GetBitsPerPixel() == 32;
    if (!deep) {
        if (bitmap.GetBitsPerPixel() != 1 && bitmap.GetBitsPerPixel() != 8)
            RaiseDecoderError(6, "JPEG encoder: Unsupported bit depth.");
        converted.ConvertFrom(bitmap, 32);
    }
    Compress(deep ? const_cast<CImageBitmap&>(bitmap) : converted, bitmap.GetMarkers(),
             bitmap.GetIccProfile(), sink);
}

void CJpegEncoder::Compress(CImageBitmap& pixels, const CSavedMarker* markers,
                            const std::vector<uint8_t>& iccProfile, CImageSink& sink) {
    CState& s = *m_state;
    j_compress_ptr cinfo = &s.cinfo;
    ResetJpegErrorManager(s.error);
    // Between setjmp and the last libjpeg call only trivially destructible objects live in
    // this frame; whatever is changed there and read after the jump is volatile.
    volatile bool accessing = false;
    if (setjmp(s.error.jump)) {
        if (accessing)
            pixels.EndAccess();
        jpeg_abort(reinterpret_cast<j_common_ptr>(cinfo));
        RaiseJpegFailure(s.error);
    }
    try {
        s.destination.sink = &sink;
        cinfo->dest = &s.destination.pub;
        cinfo->image_width = JDIMENSION(pixels.GetWidth());
        cinfo->image_height = JDIMENSION(pixels.GetHeight());
        // libjpeg-turbo reads blue, green, red and skips the fourth byte, straight from
        // the rows.
        cinfo->input_components = 4;
        cinfo->in_color_space = JCS_EXT_BGRX;
        jpeg_set_defaults(cinfo);
        cinfo->dct_method = JDCT_FLOAT;
        if (m_quality != 0)
            jpeg_set_quality(cinfo, m_quality, TRUE);
        cinfo->optimize_coding = m_optimizeCoding ? TRUE : FALSE;
        cinfo->smoothing_factor = m_smoothingFactor;
        if (m_xDensity != 0 || m_yDensity != 0) {
            cinfo->density_unit = 1;
            cinfo->X_density = UINT16(m_xDensity);
            cinfo->Y_density = UINT16(m_yDensity);
        }
        jpeg_start_compress(cinfo, TRUE);
        // After libjpeg's SOI and JFIF APP0, before the tables and the frame.
        for (const CSavedMarker* m = markers; m; m = m->next.get())
            jpeg_write_marker(cinfo, m->marker, m->data.get(), m->dataLength);
        // The colour profile after the kept headers, whether or not they are kept.
        if (IsRgbIccProfile(iccProfile))
            for (const std::vector<uint8_t>& chunk : SplitIccProfile(iccProfile))
                jpeg_write_marker(cinfo, JPEG_APP0 + 2, chunk.data(), unsigned(chunk.size()));

        pixels.BeginAccess(true, false);
        accessing = true;
        uint8_t** lines = pixels.GetLines();
        while (cinfo->next_scanline < cinfo->image_height) {
            const JDIMENSION row = cinfo->next_scanline;
            if (jpeg_write_scanlines(cinfo, lines + row, cinfo->image_height - row) == 0)
                break; // only a suspending destination takes no rows; ours never suspends
        }
        accessing = false;
        pixels.EndAccess();
        jpeg_finish_compress(cinfo);
    } catch (...) {
        if (accessing)
            pixels.EndAccess();
        jpeg_abort(reinterpret_cast<j_common_ptr>(cinfo));
        throw;
    }
}
