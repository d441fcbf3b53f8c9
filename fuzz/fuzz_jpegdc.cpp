// libFuzzer target: the DC-only preview decoder on arbitrary bytes. One thread and two
// (the scan split however short it is) must agree, and a picture made must be whole.
#include "imagelib/jpegdcdecoder.h"

#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace {
struct JumpError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void JumpExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JumpError*>(cinfo->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

// In a frame of its own without C++ objects, for the jump.
bool ReadHeader(jpeg_decompress_struct* cinfo, JumpError* error, const uint8_t* data, size_t size) {
    if (setjmp(error->jump))
        return false;
    jpeg_mem_src(cinfo, data, (unsigned long)size);
    return jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jpeg_decompress_struct cinfo;
    JumpError error;
    cinfo.err = jpeg_std_error(&error.pub);
    error.pub.error_exit = JumpExit;
    error.pub.emit_message = Quiet;
    jpeg_create_decompress(&cinfo);
    if (ReadHeader(&cinfo, &error, data, size)) {
        const uint8_t* scan = cinfo.src->next_input_byte;
        const size_t rest = cinfo.src->bytes_in_buffer;
        CJpegDcDecoder::CPlanes one, two;
        const bool alone = CJpegDcDecoder::DecodeDc(&cinfo, scan, rest, 1, one);
        const bool split = CJpegDcDecoder::DecodeDc(&cinfo, scan, rest, 2, two, 1);
        if (alone != split || (alone && one.dc != two.dc))
            std::abort();
        // Declined without quantisation tables; otherwise whole.
        CMemoryBitmap eighth;
        if (CJpegDcDecoder::DecodeEighth(&cinfo, scan, rest, 1, eighth) &&
            (!alone || eighth.GetWidth() != int((cinfo.image_width + 7) / 8) ||
             eighth.GetHeight() != int((cinfo.image_height + 7) / 8)))
            std::abort();
    }
    jpeg_destroy_decompress(&cinfo);
    return 0;
}
