#include "imagelib/gifdecoder.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include <gif_lib.h>

namespace {
// giflib reports failures by its return values, so nothing has to jump: the source's
// exception (code 11 for a short stream) waits here while giflib returns its error, and
// is thrown once we are back in our own frame.
struct CGifInput {
    CImageSource* source = nullptr;
    std::exception_ptr pending;
};

int ReadInput(GifFileType* gif, GifByteType* buffer, int length) {
    auto* input = static_cast<CGifInput*>(gif->UserData);
    if (input->pending)
        return 0;
    try {
        std::memcpy(buffer, input->source->ReadBytes(length), size_t(std::max(length, 0)));
        return length;
    } catch (...) {
        input->pending = std::current_exception();
        return 0;
    }
}

struct CGifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using CGifFile = std::unique_ptr<GifFileType, CGifCloser>;

class CGifReader {
public:
    explicit CGifReader(CImageSource& source) { m_input.source = &source; }

    GifFileType* Open() {
        int error = 0;
        m_gif.reset(DGifOpen(&m_input, ReadInput, &error));
        ThrowPending();
        if (!m_gif)
            Raise(error);
        return m_gif.get();
    }

    // Every giflib call goes through here: a short stream first, then giflib's verdict.
    void Check(int result) {
        ThrowPending();
        if (result == GIF_ERROR)
            Raise(m_gif->Error);
    }

private:
    void ThrowPending() {
        if (m_input.pending)
            std::rethrow_exception(std::exchange(m_input.pending, nullptr));
    }
    [[noreturn]] static void Raise(int error) {
        const char* text = GifErrorString(error);
        RaiseDecoderError(2, text ? text : "Unknown GIF error.");
    }

    CGifInput m_input;
    CGifFile m_gif; // after m_input: closed first
};

// The data of an empty image: no row asks giflib for it, so it is skipped block by block.
void SkipImageData(CGifReader& reader, GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    reader.Check(DGifGetCode(gif, &codeSize, &block));
    while (block)
        reader.Check(DGifGetCodeNext(gif, &block));
}

// Reads the current image's rows into lines, each already pointing at the image's first
// column.
void ReadImage(CGifReader& reader, GifFileType* gif, uint8_t* const* lines) {
    const GifImageDesc& image = gif->Image;
    auto readRow = [&](int y) { reader.Check(DGifGetLine(gif, lines[y], image.Width)); };
    if (!image.Interlace) {
        for (int y = 0; y < image.Height; ++y)
            readRow(y);
        return;
    }
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < image.Height; y += kStep[pass])
            readRow(y);
}

// The first image straight onto the canvas; a later one only once it has been read whole,
// so that a frame broken half way leaves the picture as the frames before it made it.
void DrawImage(CGifReader& reader, GifFileType* gif, uint8_t** canvas, bool first,
               std::vector<uint8_t>& scratch) {
    const GifImageDesc& image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0) {
        SkipImageData(reader, gif);
        return;
    }
    std::vector<uint8_t*> rows(size_t(image.Height));
    if (first) {
        for (int y = 0; y < image.Height; ++y)
            rows[size_t(y)] = canvas[image.Top + y] + image.Left;
        ReadImage(reader, gif, rows.data());
        return;
    }
    scratch.resize(size_t(image.Width) * size_t(image.Height));
    for (int y = 0; y < image.Height; ++y)
        rows[size_t(y)] = scratch.data() + size_t(y) * size_t(image.Width);
    ReadImage(reader, gif, rows.data());
    for (int y = 0; y < image.Height; ++y)
        std::memcpy(canvas[image.Top + y] + image.Left, rows[size_t(y)], size_t(image.Width));
}
} // namespace

void CGifDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                             CImageSource& source) {
    CGifReader reader(source);
    GifFileType* gif = reader.Open();
    // No picture can come out of an empty screen: every image would lie outside it.
    if (gif->SWidth <= 0 || gif->SHeight <= 0)
        RaiseDecoderError(2, "Screen dimension is zero, aborted.\n");
    AdmitPicture(gif->SWidth, gif->SHeight);
    bitmap.Create(gif->SWidth, gif->SHeight, 8, false);
    uint8_t** lines = bitmap.GetLines();
    bitmap.BeginAccess(false, true);
    int imageNumber = 0;
    int transparentIndex = -1;
    // The colours of the last image read whole: its local map, else (empty) the global one.
    std::vector<GifColorType> localColours;
    std::vector<uint8_t> scratch;
    try {
        for (int y = 0; y < gif->SHeight; ++y)
            std::memset(lines[y], gif->SBackGroundColor & 0xFF, size_t(gif->SWidth));

        GifRecordType type = UNDEFINED_RECORD_TYPE;
        do {
            try {
                reader.Check(DGifGetRecordType(gif, &type));
                switch (type) {
                case IMAGE_DESC_RECORD_TYPE: {
                    reader.Check(DGifGetImageDesc(gif));
                    const GifImageDesc& image = gif->Image;
                    if (image.Left + image.Width > gif->SWidth ||
                        image.Top + image.Height > gif->SHeight)
                        RaiseDecoderError(
                            2,
                            FormatText("Image %d is not confined to screen dimension, aborted.\n",
                                       imageNumber + 1));
                    DrawImage(reader, gif, lines, imageNumber == 0, scratch);
                    ++imageNumber;
                    localColours.clear();
                    if (const ColorMapObject* local = image.ColorMap; local && local->Colors)
                        localColours.assign(local->Colors,
                                            local->Colors + std::clamp(local->ColorCount, 0, 256));
                    break;
                }
                case EXTENSION_RECORD_TYPE: {
                    int code = 0;
                    GifByteType* block = nullptr;
                    reader.Check(DGifGetExtension(gif, &code, &block));
                    // The graphic control block before the first image names its transparent
                    // colour: flags bit 0, index in the block's fourth byte.
                    if (code == GRAPHICS_EXT_FUNC_CODE && imageNumber == 0 && block &&
                        block[0] >= 4 && (block[1] & 1))
                        transparentIndex = block[4];
                    while (block)
                        reader.Check(DGifGetExtensionNext(gif, &block));
                    break;
                }
                default:
                    break;
                }
            } catch (const CTextException&) {
                // What follows a whole first picture (later frames, comments, the trailer)
                // adds nothing a still picture needs: broken or missing, the picture stands.
                if (imageNumber == 0)
                    throw;
                type = TERMINATE_RECORD_TYPE;
            }
        } while (type != TERMINATE_RECORD_TYPE);
    } catch (...) {
        bitmap.EndAccess();
        throw;
    }
    bitmap.EndAccess();

    const ColorMapObject* global = gif->SColorMap;
    const GifColorType* colours =
        localColours.empty() ? (global ? global->Colors : nullptr) : localColours.data();
    const int colourCount =
        localColours.empty() ? (global ? global->ColorCount : 0) : int(localColours.size());
    if (!colours)
        RaiseDecoderError(2, "GIF file has no color map.");
    uint32_t* palette = bitmap.GetPalette();
    for (int i = 0; i < std::min(colourCount, 256); ++i) {
        const GifColorType& c = colours[i];
        palette[i] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
    }

    if (bitsPerPixel == 32) {
        // At 32 bits the transparent colour becomes alpha 0; an 8-bit picture keeps its
        // palette as the file has it.
        if (transparentIndex >= 0)
            palette[transparentIndex] &= 0x00FFFFFFu;
        CMemoryBitmap wide;
        wide.ConvertFrom(bitmap, 32);
        wide.SetHasAlpha(transparentIndex >= 0);
        bitmap.ConvertFrom(wide, 0);
    } else {
        bitsPerPixel = 8;
    }
}
