#pragma once

#include <string>
#include <string_view>
#include <vector>

struct CSavedMarker;

// A stamp text with its placeholders, filled per photo:
//   {name}      the file name without folder and extension
//   {ext}       its extension, without the dot
//   {date}      the EXIF date taken as YYYY-MM-DD, else the file's modification date
//   {year}      the year of {date}
//   {exif:TAG}  an EXIF tag by its name (Artist, Copyright, Model, ...); empty when missing
//   {{ and }}   a brace
// and, where numbered is asked for (output names), {n}: the photo's number in its run.
class CTextTemplate {
public:
    // Parses the text. False with the offending placeholder (as written, braces included)
    // in unknown when one is not known, or a brace is left open.
    bool Parse(std::string_view text, std::string& unknown, bool numbered = false);
    // Whether any placeholder needs the photo: without one the text is the same for all.
    bool HasFields() const { return m_hasFields; }
    // Whether a placeholder needs what the photo holds (its EXIF or, failing that, its
    // file's date); {name}, {ext} and {n} need only its path.
    bool HasPhotoFields() const { return m_hasPhotoFields; }
    // The text for one photo; path may be empty and markers null (a picture without a
    // file): its placeholders then give empty texts, the date today's. number is what {n}
    // gives.
    std::string Fill(const std::string& path, const CSavedMarker* markers,
                     std::string_view number = {}) const;
    // The text with every placeholder as written, braces unescaped only: as shown where
    // there is no photo.
    std::string Literal() const;

private:
    struct CPart {
        enum Kind { Text, Name, Ext, Date, Year, Exif, Number } kind = Text;
        std::string text; // the literal text, or the EXIF tag's name
        std::string written;
    };
    std::vector<CPart> m_parts;
    bool m_hasFields = false;
    bool m_hasPhotoFields = false;
};

// The first placeholder a text names that is not known; empty when all are.
std::string UnknownPlaceholder(std::string_view text);
