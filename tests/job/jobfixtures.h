#pragma once

// A temporary folder and small pictures written as files, for tests that run the batch
// engine on real inputs.

#include "imagelib/bitmap.h"
#include "imagelib/bmpencoder.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class CTempFolder {
public:
    CTempFolder() {
        std::string pattern = testing::TempDir() + "qmjobXXXXXX";
        if (!::mkdtemp(pattern.data()))
            ADD_FAILURE() << "mkdtemp failed";
        m_path = pattern;
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // The folder with a trailing '/', as output folders are given.
    std::string Folder() const { return m_path + "/"; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A 32-bit picture of one colour.
inline void MakePicture(CImageBitmap& bitmap, int width, int height, uint32_t colour) {
    bitmap.Create(width, height, 32, false);
    Fill32(bitmap, colour);
}

inline void WriteBmp(const std::string& path, int width, int height, uint32_t colour) {
    CMemoryBitmap bitmap;
    MakePicture(bitmap, width, height, colour);
    CBmpEncoder().EncodeFile(path, bitmap);
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
