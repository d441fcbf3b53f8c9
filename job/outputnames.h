#pragma once

#include "job/textplaceholders.h"

#include <string>
#include <string_view>

struct CSavedMarker;

// The names a run gives its outputs: the file name before the extension made from a
// template with the placeholders of text stamps and {n}, the input's number in the run
// (from 1, zero-padded to the width of the run's count). "{name}" gives the input's own
// title, as every run did before names could be chosen.
class COutputNamer {
public:
    static constexpr const char* kDefault = "{name}";

    // False with the problem as a sentence when the template can never give a usable name:
    // empty, an unknown placeholder or an open brace, a '/', a leading dot, a control
    // character. An empty text is the default.
    bool Parse(std::string_view text, std::string& problem);
    // The default: the input's title as the run has it, sub-folders included.
    bool IsDefault() const { return m_default; }
    // The name needs what the photo holds (its EXIF date or tags), known once it is read.
    bool NeedsPhoto() const { return m_template.HasPhotoFields(); }

    // The name for input number index (0-based) of a run of count inputs; markers may be
    // null until the photo was read. problem is set, and the name is not to be used, when
    // what the photo gave makes no usable file name.
    std::string Name(const std::string& path, const CSavedMarker* markers, int index, int count,
                     const std::string& extension, std::string& problem) const;

private:
    CTextTemplate m_template;
    bool m_default = true;
};

// What keeps a made name from being an output of ours, as a sentence; empty when nothing:
// empty, "/", "." or "..", a hidden name (a leading dot: file lists skip it, and our own
// temporaries look like that), a control character, or longer than a file name may be.
std::string OutputNameProblem(const std::string& name, const std::string& extension);

// "folder/NAME-k.ext" for "folder/NAME.ext": the k-th name tried beside an existing output.
std::string KeptBesidePath(const std::string& path, const std::string& extension, int k);
