#pragma once

// The string table and the program's fixed addresses.

// The text of string id, or "" when the table has none (callers treat "" as "leave the
// item out").
const char* LoadResourceString(int id);

// The product's web site as the info dialog shows it, and what the link and the help
// command open.
inline constexpr char kProductSiteText[] = "www.quillmark.org";
inline constexpr char kProductSiteAddress[] = "https://www.quillmark.org/";
inline constexpr char kProductHelpAddress[] = "https://www.quillmark.org/help/";
inline constexpr char kCreditsLine[] = "made with libjpeg, libpng, zlib, giflib, Qt";
