#pragma once

// Shared by the JPEG decoder, encoder and lossless stamper: libjpeg's error manager with a
// jump back into our own frame, so that a libjpeg error never unwinds a C++ exception
// through libjpeg; and the copy of the markers libjpeg saved.
//
// Use: the frame that calls libjpeg does setjmp(manager.jump) before its first call and
// keeps only trivially destructible objects alive between that point and its last call.
// When the jump lands, the frame aborts the context and calls RaiseJpegFailure, which
// throws the stored exception of a callback, or code 6 with libjpeg's message.

#include <csetjmp>
#include <cstdio>
#include <exception>

#include <jpeglib.h>

#include <memory>

struct CSavedMarker;

struct CJpegErrorManager {
    jpeg_error_mgr pub; // first, so that cinfo->err points at the whole record
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // An exception of our own (a sink or a progress notification) caught in a callback,
    // carried across libjpeg to the frame that called it.
    std::exception_ptr pending;
    // Corrupt-data warnings beyond this many end the decode (0: no limit).
    long maxWarnings = 0;
    void (*defaultEmit)(j_common_ptr, int) = nullptr;
    // The input ran out and an end of image was supplied in its place (libjpeg's
    // JWRN_JPEG_EOF), and entropy data was then missing (JWRN_HIT_MARKER): what a decoder
    // needs to tell a file cut inside its picture from one that lacks only its end marker.
    bool endOfInput = false;
    bool dataMissing = false;
};

// jpeg_std_error with the error exit (and the warning counter) replaced. Warnings are
// never printed: a file libjpeg could read is the caller's to judge, and standard error is
// no place for one library's remarks.
void InstallJpegErrorManager(CJpegErrorManager& manager, long maxWarnings);

// Returns to the frame that did setjmp with message as the error text.
[[noreturn]] void JumpOnJpegError(j_common_ptr cinfo, const char* message);
// Stores the exception being handled and returns; the caller then jumps back with
// JumpOnJpegError (never from inside the catch handler).
void KeepPendingException(j_common_ptr cinfo);

// Clears the pending exception and message before a new run.
void ResetJpegErrorManager(CJpegErrorManager& manager);

// After the jump: rethrows the pending exception, else raises code 6 with the message.
[[noreturn]] void RaiseJpegFailure(CJpegErrorManager& manager);

// After a whole decode: whether the input ended inside the picture, so that part of it is
// libjpeg's grey filler rather than the file's. A missing end marker alone does not count.
// For a progressive file, any coefficient that its scans left incomplete counts too.
bool JpegInputEndedEarly(const CJpegErrorManager& manager, j_decompress_ptr cinfo);

// The markers libjpeg saved, copied in file order into our own list, leaving out those of
// kind skipped (-1: none). Throws std::bad_alloc.
std::unique_ptr<CSavedMarker> CopySavedMarkers(jpeg_saved_marker_ptr list, int skipped = -1);
