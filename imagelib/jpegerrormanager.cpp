#include "imagelib/jpegerrormanager.h"

#include "imagelib/bitmap.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include <jerror.h>

namespace {
CJpegErrorManager& ManagerOf(j_common_ptr cinfo) {
    return *reinterpret_cast<CJpegErrorManager*>(cinfo->err);
}

void ErrorExit(j_common_ptr cinfo) {
    CJpegErrorManager& manager = ManagerOf(cinfo);
    (*cinfo->err->format_message)(cinfo, manager.message);
    std::longjmp(manager.jump, 1);
}

void OutputNothing(j_common_ptr) {}

// libjpeg's own handling first (it counts), then the limit: a corrupt stream can make
// libjpeg warn hundreds of thousands of times while it guesses its way on.
void EmitMessage(j_common_ptr cinfo, int level) {
    CJpegErrorManager& manager = ManagerOf(cinfo);
    (*manager.defaultEmit)(cinfo, level);
    if (level < 0) {
        if (cinfo->err->msg_code == JWRN_JPEG_EOF)
            manager.endOfInput = true;
        else if (cinfo->err->msg_code == JWRN_HIT_MARKER && manager.endOfInput)
            manager.dataMissing = true;
    }
    if (level < 0 && manager.maxWarnings > 0 && cinfo->err->num_warnings > manager.maxWarnings) {
        (*cinfo->err->format_message)(cinfo, manager.message);
        std::longjmp(manager.jump, 1);
    }
}
} // namespace

void InstallJpegErrorManager(CJpegErrorManager& manager, long maxWarnings) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = ErrorExit;
    manager.defaultEmit = manager.pub.emit_message;
    manager.pub.emit_message = EmitMessage;
    manager.pub.output_message = OutputNothing;
    manager.maxWarnings = maxWarnings;
    ResetJpegErrorManager(manager);
}

void JumpOnJpegError(j_common_ptr cinfo, const char* message) {
    CJpegErrorManager& manager = ManagerOf(cinfo);
    std::snprintf(manager.message, sizeof manager.message, "%s", message);
    std::longjmp(manager.jump, 1);
}

void KeepPendingException(j_common_ptr cinfo) {
    ManagerOf(cinfo).pending = std::current_exception();
}

void ResetJpegErrorManager(CJpegErrorManager& manager) {
    manager.pending = nullptr;
    manager.message[0] = '\0';
    manager.pub.num_warnings = 0;
    manager.endOfInput = false;
    manager.dataMissing = false;
}

bool JpegInputEndedEarly(const CJpegErrorManager& manager, j_decompress_ptr cinfo) {
    if (!manager.endOfInput)
        return false;
    // The arithmetic decoder fills in zeros without a word.
    if (manager.dataMissing || cinfo->arith_code)
        return true;
    // A progressive file is read whole before its first row comes out: scans missing at
    // the end leave coefficients without their last bits, which a complete file never does.
    if (cinfo->progressive_mode && cinfo->coef_bits)
        for (int c = 0; c < cinfo->num_components; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                if (cinfo->coef_bits[c][k] != 0)
                    return true;
    return false;
}

void RaiseJpegFailure(CJpegErrorManager& manager) {
    if (manager.pending)
        std::rethrow_exception(std::exchange(manager.pending, nullptr));
    RaiseDecoderError(6, std::string(manager.message) + "\n");
}

std::unique_ptr<CSavedMarker> CopySavedMarkers(jpeg_saved_marker_ptr list, int skipped) {
    std::unique_ptr<CSavedMarker> first;
    std::unique_ptr<CSavedMarker>* tail = &first;
    for (jpeg_saved_marker_ptr m = list; m; m = m->next) {
        if (m->marker == skipped)
            continue;
        auto node = std::make_unique<CSavedMarker>();
        node->marker = m->marker;
        node->originalLength = m->original_length;
        node->dataLength = m->data_length;
        node->data = std::make_unique<uint8_t[]>(m->data_length ? m->data_length : 1);
        std::copy(m->data, m->data + m->data_length, node->data.get());
        *tail = std::move(node);
        tail = &(*tail)->next;
    }
    return first;
}
