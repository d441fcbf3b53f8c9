#include "imagelib/jpegdecoder.h"

#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/jpegdcdecoder.h"
#include "imagelib/jpegerrormanager.h"
#include "imagelib/resample.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include <jerror.h>

struct CJpegDecoder::CState {
    jpeg_decompress_struct cinfo;
    CJpegErrorManager error;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    bool created = false;
    bool used = false; // holds tables of an earlier file
    // Lives here, not in the decoding frame, which libjpeg's error exit may jump out of.
    std::unique_ptr<CResampler> resampler;
};

namespace {
// What the source hands libjpeg once the input is used up: an end-of-image marker, so a
// file that lacks only its end marker reads as complete; one cut inside its picture is
// refused once read (JpegInputEndedEarly).
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

CJpegErrorManager& ManagerOf(j_decompress_ptr cinfo) {
    return *reinterpret_cast<CJpegErrorManager*>(cinfo->err);
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

void SupplyEndOfImage(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
}

// The whole input sits in the source manager from the start, so a request for more is
// always a request past the end.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
    SupplyEndOfImage(cinfo);
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    if (size_t(count) < src->bytes_in_buffer) {
        src->next_input_byte += count;
        src->bytes_in_buffer -= size_t(count);
    } else {
        SupplyEndOfImage(cinfo);
    }
}

void ProgressMonitor(j_common_ptr common) {
    auto cinfo = reinterpret_cast<j_decompress_ptr>(common);
    // Each scan of a progressive file is another pass over all coefficients; a small
    // hostile file can declare thousands of them.
    if (cinfo->input_scan_number > CJpegDecoder::kMaxScans) {
        char text[80];
        std::snprintf(text, sizeof text, "Progressive JPEG image has more than %d scans",
                      CJpegDecoder::kMaxScans);
        JumpOnJpegError(common, text);
    }
    const jpeg_progress_mgr* progress = common->progress;
    double fraction = 0;
    if (progress->total_passes > 0) {
        const double inPass = progress->pass_limit > 0
                                  ? double(progress->pass_counter) / double(progress->pass_limit)
                                  : 0.0;
        fraction = (inPass + progress->completed_passes) / progress->total_passes;
    }
    try {
        static_cast<CImageSource*>(common->client_data)->ReportProgress(fraction);
    } catch (...) {
        KeepPendingException(common);
    }
    if (ManagerOf(cinfo).pending)
        JumpOnJpegError(common, "");
}

// CMYK as Adobe applications store it and libjpeg hands it over: inverted, 255 = no ink.
// Files without Adobe's marker are read the same way; the writers that omit the marker
// store inverted samples too. In place: C, M, Y, K become blue, green, red, 255.
void CmykToBgra(uint8_t* row, JDIMENSION width) {
    for (JDIMENSION x = 0; x < width; ++x, row += 4) {
        const unsigned c = row[0], m = row[1], y = row[2], k = row[3];
        row[0] = uint8_t(y * k / 255);
        row[1] = uint8_t(m * k / 255);
        row[2] = uint8_t(c * k / 255);
        row[3] = 255;
    }
}

std::unique_ptr<CSavedMarker> CopyMarkers(j_decompress_ptr cinfo) {
    try {
        // APP2 is saved for the colour profile alone, which travels on its own.
        return CopySavedMarkers(cinfo->marker_list, JPEG_APP0 + 2);
    } catch (const std::bad_alloc&) {
        throw CTextException(10, "Out of memory.");
    }
}
// The colour profile from the file's APP2 ICC chunks; empty when there is none or its
// chunks are damaged. A marker cut short by the save limit cannot be part of a profile.
std::vector<uint8_t> CopyIccProfile(j_decompress_ptr cinfo) {
    std::vector<std::span<const uint8_t>> chunks;
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 2)
            continue;
        const std::span<const uint8_t> data(m->data, m->data_length);
        if (!IsIccChunk(data))
            continue;
        if (m->data_length != m->original_length)
            return {};
        chunks.push_back(data);
    }
    if (chunks.empty())
        return {};
    try {
        return AssembleIccChunks(chunks);
    } catch (const std::bad_alloc&) {
        throw CTextException(10, "Out of memory.");
    }
}
// The EXIF orientation among the markers libjpeg saved while reading the header.
int HeaderOrientation(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 &&
            std::memcmp(m->data, "Exif\0\0", 6) == 0)
            return ExifOrientationOfBlock(m->data, m->data_length);
    return 1;
}
} // namespace

CJpegDecoder::CJpegDecoder() : m_state(std::make_unique<CState>()) {
    CState& s = *m_state;
    InstallJpegErrorManager(s.error, kMaxWarnings);
    s.cinfo.err = &s.error.pub;
    CreateContext();
    s.source.init_source = InitSource;
    s.source.fill_input_buffer = FillInputBuffer;
    s.source.skip_input_data = SkipInputData;
    s.source.resync_to_restart = jpeg_resync_to_restart;
    s.source.term_source = TermSource;
    s.source.next_input_byte = nullptr;
    s.source.bytes_in_buffer = 0;
    s.progress.progress_monitor = ProgressMonitor;
}

CJpegDecoder::~CJpegDecoder() {
    if (m_state->created)
        jpeg_destroy_decompress(&m_state->cinfo);
}

void CJpegDecoder::CreateContext() {
    CState& s = *m_state;
    if (s.created)
        jpeg_destroy_decompress(&s.cinfo);
    s.created = false;
    s.used = false;
    // Creation fails only when its first allocation does.
    if (setjmp(s.error.jump))
        throw CTextException(10, "Out of memory.");
    jpeg_CreateDecompress(&s.cinfo, 62, sizeof(jpeg_decompress_struct));
    s.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    s.created = true;
}

void CJpegDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                              CImageSource& source) {
    CState& s = *m_state;
    // libjpeg keeps quantisation and Huffman tables from one file to the next (for
    // abbreviated streams); a file that lacks some must not decode with another file's.
    if (s.used || !s.created)
        CreateContext();
    s.used = true;
    j_decompress_ptr cinfo = &s.cinfo;
    ResetJpegErrorManager(s.error);
    // Between setjmp and the last libjpeg call only trivially destructible objects live in
    // this frame; whatever is changed there and read after the jump is volatile.
    volatile bool accessing = false;
    if (setjmp(s.error.jump)) {
        if (accessing)
            bitmap.EndAccess();
        s.resampler.reset();
        jpeg_abort(reinterpret_cast<j_common_ptr>(cinfo));
        RaiseJpegFailure(s.error);
    }
    try {
        s.source.next_input_byte = source.GetRest();
        s.source.bytes_in_buffer = size_t(source.GetRemaining());
        cinfo->src = &s.source;
        cinfo->client_data = &source;
        cinfo->progress = &s.progress;

        jpeg_save_markers(cinfo, JPEG_APP0 + 13, 0xFFFF);
        jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(cinfo, JPEG_COM, 0xFFFF);
        jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(cinfo, TRUE);
        CheckPixelCount(cinfo->image_width, cinfo->image_height);
        SetFullSize(int(cinfo->image_width), int(cinfo->image_height));
        // An output sized by a rule: what the rule asks of this picture's stored grid.
        const CPixelSize full{int(cinfo->image_width), int(cinfo->image_height)};
        CPixelSize target = full;
        if (GetResizeRule().Active() && bitsPerPixel == 32 &&
            PreviewReduction(full.width, full.height, 8) == 1)
            target = ResizedStoredSize(full, GetResizeFollowsExif() ? HeaderOrientation(cinfo) : 1,
                                       GetResizeRule());
        const bool resizing = target != full;
        // Before jpeg_start_decompress, which allocates for the declared size; a resized
        // picture is only ever held at its new size.
        if (resizing)
            AdmitPicture(target.width, target.height);
        else
            AdmitPicture(cinfo->image_width, cinfo->image_height);
        // A preview takes the DCT's own reduction: at 1/8 only the DC coefficient of each
        // block is transformed, and only the reduced rows are ever allocated. A resized
        // output takes it as far as the filter still gets at least the output's size.
        const int factor = resizing ? ResizeReduction(full, target)
                                    : PreviewReduction(cinfo->image_width, cinfo->image_height, 8);
        if (factor > 1) {
            cinfo->scale_num = 1;
            cinfo->scale_denom = unsigned(factor);
        }
        // At 1/8 the DC coefficients are all a preview needs, and a decoder that looks for
        // nothing else is several times quicker on a big file.
        if (factor == 8 && bitsPerPixel == 32 && !resizing &&
            CJpegDcDecoder::DecodeEighth(cinfo, cinfo->src->next_input_byte,
                                         cinfo->src->bytes_in_buffer,
                                         std::thread::hardware_concurrency() > 1 ? 2 : 1, bitmap)) {
            bitmap.SetMarkers(CopyMarkers(cinfo));
            bitmap.SetIccProfile(CopyIccProfile(cinfo));
            jpeg_abort_decompress(cinfo);
            return;
        }

        // A resized output is compared with what other resizers make of the photo: its
        // chroma is upsampled smoothly, as libjpeg does by default, before it is filtered.
        if (m_fastDecoding && !resizing)
            cinfo->do_fancy_upsampling = FALSE;
        cinfo->dct_method = JDCT_FLOAT;
        const bool grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
        const bool cmyk =
            cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
        if (grey && bitsPerPixel != 32) {
            // Only 8 bits can take the grey samples as they come; the grey ramp that
            // Create gives the palette maps index g to grey g.
            bitsPerPixel = 8;
            cinfo->out_color_space = JCS_GRAYSCALE;
        } else {
            // libjpeg-turbo writes blue, green, red and an opaque fourth byte straight into
            // the rows; CMYK has 4 samples as well and is converted in place.
            bitsPerPixel = 32;
            cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
        }
        jpeg_start_decompress(cinfo);

        const JDIMENSION width = cinfo->output_width;
        const JDIMENSION height = cinfo->output_height;
        if (resizing && (int(width) != target.width || int(height) != target.height)) {
            // Row by row into the filter: the picture is never held at its decoded size.
            bitmap.Create(target.width, target.height, 32, false);
            bitmap.BeginAccess(false, true);
            accessing = true;
            s.resampler = std::make_unique<CResampler>(int(width), int(height), bitmap, false);
            while (cinfo->output_scanline < height) {
                JSAMPROW row = s.resampler->NextRow();
                if (jpeg_read_scanlines(cinfo, &row, 1) == 0)
                    break;
                if (cmyk)
                    CmykToBgra(row, width);
                s.resampler->RowWritten();
            }
            s.resampler.reset();
            accessing = false;
            bitmap.EndAccess();
            bitmap.SetMarkers(CopyMarkers(cinfo));
            bitmap.SetIccProfile(CopyIccProfile(cinfo));
            jpeg_finish_decompress(cinfo);
            return;
        }
        bitmap.Create(int(width), int(height), uint16_t(bitsPerPixel), false);
        uint8_t** lines = bitmap.GetLines();
        bitmap.BeginAccess(false, true);
        accessing = true;
        while (cinfo->output_scanline < height) {
            const JDIMENSION row = cinfo->output_scanline;
            const JDIMENSION rows = jpeg_read_scanlines(cinfo, lines + row, height - row);
            if (rows == 0)
                break; // only a suspending source returns no rows; ours never suspends
            if (cmyk)
                for (JDIMENSION y = row; y < row + rows; ++y)
                    CmykToBgra(lines[y], width);
        }
        accessing = false;
        bitmap.EndAccess();
        // libjpeg conceals a cut file with grey; a copy still being written or a card read
        // cut short must not pass for the photo.
        if (JpegInputEndedEarly(s.error, cinfo))
            RaiseDecoderError(6, "Premature end of JPEG file");

        bitmap.SetMarkers(CopyMarkers(cinfo));
        bitmap.SetIccProfile(CopyIccProfile(cinfo));
        jpeg_finish_decompress(cinfo);
    } catch (...) {
        if (accessing)
            bitmap.EndAccess();
        s.resampler.reset();
        jpeg_abort(reinterpret_cast<j_common_ptr>(cinfo));
        throw;
    }
}
