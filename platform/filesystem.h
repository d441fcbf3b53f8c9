#pragma once

#include <QString>
#include <QStringList>

// Files, folders and drives. Paths use "/"; folder paths given back end with "/".

// What a folder listing returns.
enum class CListKind { Files, Folders, All };

// Names (without folder) of the entries of folder whose names match one of the patterns
// ("*.jpg", "*"), the extension compared ignoring case; "." and ".." never. Files are
// regular files (and links to them), folders directories (and links to them). Unsorted;
// an unreadable folder gives none.
QStringList ListFolder(const QString& folder, const QStringList& patterns, CListKind kind);
// Whether name matches a pattern of the form "*", "*.ext" or a plain name, ignoring case.
bool MatchesPattern(const QString& name, const QString& pattern);

bool FileExists(const QString& path);   // an existing non-folder
bool FolderExists(const QString& path); // an existing folder
// Whether the folder holds at least one folder entry (stops at the first).
bool HasSubfolders(const QString& folder);

enum class CMakeFolderResult { Created, AlreadyExists, NotFound, UnknownError };
// Creates one folder level.
CMakeFolderResult MakeFolder(const QString& path);

// Drives, their types and the desktop folder are the folder tree's business
// (pages/input/foldertreelogic.h): one set of rules for them.

// The user's home folder with a trailing "/": where "C:\" served as the fallback folder.
QString GetFallbackFolder();
