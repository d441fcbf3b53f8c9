#include "imagelib/imageencoder.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <climits>
#include <new>

int CImageEncoder::GetSinkCapacity(const CImageBitmap& bitmap) const {
    const int64_t estimate = bitmap.GetMemoryUsed();
    int64_t capacity = estimate > 19999 ? int64_t(double(estimate) * 1.2) : estimate + 4096;
    capacity = std::max(capacity, MaxEncodedSize(bitmap));
    return int(std::min<int64_t>(capacity, INT_MAX));
}

int64_t CImageEncoder::MaxEncodedSize(const CImageBitmap&) const {
    return 0;
}

void CImageEncoder::EncodeFile(const std::string& path, const CImageBitmap& bitmap) {
    COutputFile file;
    file.Create(path);
    EncodeOutput(file, bitmap);
    file.Publish(COutputFile::CExisting::Replace);
}

void CImageEncoder::EncodeOutput(COutputFile& file, const CImageBitmap& bitmap) {
    Trace(1, FormatText("--- Encoding file %s. ---\n", file.GetPath().c_str()));
    CFileSink sink;
    if (sink.Open(file, GetSinkCapacity(bitmap)) != 0)
        throw CTextException(10, "Out of memory.");
    Encode(bitmap, sink); // on a throw the sink is dropped unwritten
    sink.Close();
}

void CImageEncoder::Encode(const CImageBitmap& bitmap, CImageSink& sink) {
    try {
        EncodeBody(bitmap, sink);
    } catch (const std::bad_alloc&) {
        // A row buffer sized by the picture that did not fit.
        throw CTextException(10, "Out of memory creating bitmap.");
    }
}
