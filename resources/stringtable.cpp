#include "resources/stringtable.h"

#include "resources/resource.h"

namespace {

struct CStringEntry {
    int id;
    const char* text;
};

// Texts are shown exactly as they stand, including their spelling and trailing blanks.
const CStringEntry kStrings[] = {
    {IDS_TIP_ALIGN_TOP_LEFT, "Align the stamp top and left"},
    {IDS_TIP_ALIGN_TOP_CENTRE, "Align the stamp top and horizontal centered "},
    {IDS_TIP_ALIGN_TOP_RIGHT, "Align the stamp top and right"},
    {IDS_TIP_ALIGN_MIDDLE_LEFT, "Align the stamp vertical center and left"},
    {IDS_TIP_ALIGN_CENTRE, "Center the Stamp"},
    {IDS_TIP_ALIGN_MIDDLE_RIGHT, "Align the stamp vertical center and right"},
    {IDS_TIP_ALIGN_BOTTOM_LEFT, "Align the stamp bottom and left"},
    {IDS_TIP_ALIGN_BOTTOM_CENTRE, "Align the stamp bottom and horizontal centered."},
    {IDS_TIP_ALIGN_BOTTOM_RIGHT, "Align the stamp bottom and right"},
    {IDS_TIP_ADD_ALL, "Add all Images from this Directory"},
    {IDS_TIP_ADD_SELECTED, "Add selected Files"},
    {IDS_TIP_REMOVE_ALL, "Remove all Images from List"},
    {IDS_TIP_REMOVE_SELECTED, "Remove selected Images from List"},
    {IDS_TIP_PREVIEW_CHECK, "This checkbox Enables/Disables the Preview"},
    {IDS_TIP_PREVIEW, "This is the Preview Window"},
    {IDS_TIP_INPUT_TREE, "Choose Source Directory"},
    {IDS_TIP_FILE_LIST, "Choose the Images"},
    {IDS_TIP_SELECTED_LIST, "These Images will be stamped."},
    {IDS_ABOUTBOX, "Info about Quillmark"},
    {IDS_HELP, "Help"},
    {IDS_TIP_ZOOM, "Choose Zoom Factor"},
    {IDS_TIP_OPEN_STAMP, "Click to load a stamp."},
    {IDS_TIP_USE_TRANSPARENCE, "Click to use transparence."},
    {IDS_TIP_OPEN_SAMPLE, "Click to Select and load a sample Image."},
    {IDS_TIP_DRAG_SAMPLE, "hold the mouse-button to drag the Image"},
    {IDS_SETTINGS, "Settings"},
    {IDS_IMPORT, "import"},
    {IDS_EXPORT, "export"},
    {IDS_TIP_OUTPUT_TREE, "Select output directory."},
    {IDS_TIP_START, "Start stamping the Images."},
    {IDS_TIP_QUALITY, "Select output quality."},
    {IDS_TIP_OVERWRITE, "Click to overwrite existing Images."},
    {IDS_TIP_SKIP, "Leave existing Images as they are and skip their files."},
    {IDS_TIP_KEEP_BOTH,
     "Keep existing Images: the new one takes the first free name NAME-1, NAME-2, ..."},
    {IDS_TIP_OUTPUT_NAME,
     "Name of the copies before the extension: {name} the Image's own, {n} its number in the "
     "run, {date} and {year} when it was taken, {exif:Artist} and other EXIF tags, {ext} its "
     "extension."},
    {IDS_TIP_STOP, "Stop stamping Images."},
    {IDS_TIP_BMP, "Click to select BMP as output file format."},
    {IDS_TIP_JPG, "Click to select JPG as output file format."},
    {IDS_TIP_PNG, "Click to select PNG as output file format."},
    {IDS_TIP_WEBP, "Click to select WebP as output file format (lossy, at the quality below)."},
    {IDS_TIP_AVIF, "Click to select AVIF as output file format (at the quality below)."},
    {IDS_TIP_NEW_FOLDER, "Create new subfolder."},
    {IDS_TIP_PRESERVE,
     "Preserve iptc, comment and exif headers when input and output files are jpegs."},
    {IDS_TIP_RESIZE_MODE,
     "Size of the copies: their longer or shorter side, width or height in pixels, or a "
     "percentage of the photo. The stamp is placed on the resized copy."},
    {IDS_TIP_RESIZE_VALUE, "Pixels, or percent of the photo's size."},
    {IDS_TIP_ENLARGE, "Also make photos larger than they are; otherwise they keep their size."},
    {IDS_TIP_STRIP_LOCATION,
     "Remove the GPS position from the EXIF and XMP headers that are kept; everything else "
     "stays as it was."},
    {IDS_TIP_STRIP_METADATA,
     "Write no EXIF, IPTC, XMP or comment headers (the colour profile stays); turned photos "
     "are written upright."},
    {IDS_TIP_LOSSLESS,
     "Jpeg input to jpeg output: only the blocks under the stamp are encoded again, the rest "
     "of each photo keeps its quality and size. Other inputs are encoded as usual."},
    {IDS_TIP_QUALITY_LOSSLESS,
     "Disabled while \"lossless\" is on: jpeg photos keep their own quality. Other "
     "pictures are written at the quality shown here."},
    {IDS_TIP_BACKGROUND,
     "Background colour of transparent Images written as jpg or bmp (formats without "
     "transparency). Png, webp and avif keep the transparency."},
    {IDS_TIP_SIZE_MODE, "Stamp at its own size, or sized by each Image: its width a share of "
                        "the Image's width, or its longer side a share of the Image's shorter "
                        "side."},
    {IDS_TIP_SIZE_PERCENT, "Share of the Image in percent (1 to 100)."},
    {IDS_TIP_FOLLOW_EXIF, "Place the stamp on photos as viewers turn them by their EXIF "
                          "orientation."},
    {IDS_TIP_STAMP_KIND, "Stamp a picture, or a line of text."},
    {IDS_TIP_FONT, "The text's font: family and style."},
    {IDS_TIP_TEXT_COLOUR, "The text's color, or \"automatic\": light or dark for each Image, "
                          "from the Image under the text."},
    {IDS_TIP_TEXT, "The text. Filled for each Image: {name} {ext} {date} {year} {exif:Artist} "
                   "(any EXIF tag by its name); {{ and }} for braces."},
    {IDS_TIP_SHADOW, "A soft shadow under the text, so it reads on light and dark parts."},
    {IDS_TIP_ANGLE, "Turns the stamp anticlockwise by -180 to 180 degrees."},
    {IDS_TIP_TILE, "Repeats the stamp over the whole image, so that cropping cannot remove it."},
    {IDS_TIP_TILE_GAP, "Space between the copies, in percent of the stamp's size (0 to 1000)."},
};

} // namespace

const char* LoadResourceString(int id) {
    for (const CStringEntry& e : kStrings)
        if (e.id == id)
            return e.text;
    return "";
}
