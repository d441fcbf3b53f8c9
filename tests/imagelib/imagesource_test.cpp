#include "imagelib/imagesink.h"
#include "imagelib/imagesource.h"
#include "imagelib/textexception.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "qm_src_" + std::to_string(::getpid()) + "_" + name;
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Ramp(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + 1);
    return v;
}

TEST(FileSource, OpenCodes) {
    const std::string empty = WriteTemp("empty", {});
    const std::string folder = TempPath("folder");
    ::mkdir(folder.c_str(), 0700);
    struct Case {
        std::string path;
        int code;
    };
    for (const Case& c :
         {Case{TempPath("missing.bmp"), 4}, Case{TempPath("nofolder") + "/a.bmp", 3},
          Case{empty, 5}, Case{folder, 4}}) {
        CFileSource source;
        EXPECT_EQ(source.Open(c.path), c.code) << c.path;
        EXPECT_FALSE(source.IsOpen());
    }
    std::remove(empty.c_str());
    ::rmdir(folder.c_str());
}

TEST(FileSource, UnreadableFileIsAccessDenied) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    const std::string path = WriteTemp("locked", {1, 2, 3});
    ::chmod(path.c_str(), 0);
    CFileSource source;
    EXPECT_EQ(source.Open(path), 5);
    std::remove(path.c_str());
}

// A file filling whole pages: a look past its end must not touch the page after the
// mapping, and reads as zero.
TEST(FileSource, PeekPastAPageMultipleEndReadsZero) {
    const size_t size = size_t(::sysconf(_SC_PAGESIZE));
    const std::vector<uint8_t> bytes = Ramp(size);
    const std::string path = WriteTemp("page", bytes);
    CFileSource source;
    ASSERT_EQ(source.Open(path), 0);
    EXPECT_EQ(source.GetName(), path);
    EXPECT_EQ(source.GetSize(), int(size));
    source.ReadBytes(int(size) - 10);
    const uint8_t* peek = source.PeekBytes(526);
    for (int i = 0; i < 526; ++i)
        ASSERT_EQ(peek[i], i < 10 ? bytes[size - 10 + size_t(i)] : 0) << i;
    EXPECT_EQ(source.GetPosition(), int(size) - 10);
    source.Close();
    std::remove(path.c_str());
}

TEST(MemorySource, ReadsExactlyToTheEndAndNoFurther) {
    const std::vector<uint8_t> bytes = Ramp(100);
    CMemorySource source;
    ASSERT_EQ(source.Open(bytes.data(), 100), 0);
    EXPECT_EQ(source.GetName(), "Mem");
    EXPECT_EQ(source.ReadBytes(40), bytes.data());
    // Rejected counts leave the read pointer where it was.
    for (int bad : {-1, -40, 61, INT32_MAX}) {
        try {
            source.ReadBytes(bad);
            ADD_FAILURE() << bad;
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), 11);
            EXPECT_EQ(e.GetText(), "End of file reached while decoding.\n");
        }
        EXPECT_EQ(source.GetRest(), bytes.data() + 40) << bad;
    }
    EXPECT_EQ(source.ReadBytes(60), bytes.data() + 40);
    EXPECT_EQ(source.GetRemaining(), 0);
    EXPECT_THROW(source.ReadBytes(1), CTextException);
}

TEST(MemorySource, PeekPastTheEndReadsZero) {
    const uint8_t bytes[3] = {0x42, 0x4D, 0x99};
    CMemorySource source;
    source.Open(bytes, 3);
    const uint8_t* peek = source.PeekBytes(526);
    EXPECT_EQ(peek[0], 0x42);
    EXPECT_EQ(peek[2], 0x99);
    for (int i = 3; i < 526; ++i)
        ASSERT_EQ(peek[i], 0);
    EXPECT_EQ(source.PeekBytes(2), bytes); // enough bytes: the input itself
}

struct Recorder : CProgressNotification {
    std::vector<double> fractions;
    void OnProgress(double f) override { fractions.push_back(f); }
};

TEST(ImageSource, ProgressEvery1024BytesAndOnClose) {
    const std::vector<uint8_t> bytes(3000, 0);
    Recorder recorder;
    CMemorySource source(&recorder);
    source.Open(bytes.data(), 3000);
    for (int i = 0; i < 3000; ++i)
        source.ReadBytes(1);
    EXPECT_EQ(recorder.fractions, (std::vector<double>{1024.0 / 3000, 2048.0 / 3000}));
    source.Close();
    EXPECT_EQ(recorder.fractions.back(), 1.0);
    EXPECT_EQ(recorder.fractions.size(), 3u);
}

TEST(ResourceSource, OpensTheSamplePictureByIdAndMissingIdsAre4) {
    CResourceSource source;
    ASSERT_EQ(source.Open(157), 0);
    EXPECT_EQ(source.GetName(), "Resource: 157");
    EXPECT_EQ(source.GetSize(), 14 + 40 + 1024 + 192 * 190);
    EXPECT_EQ(source.PeekBytes(2)[0], 'B');
    CResourceSource missing;
    EXPECT_EQ(missing.Open(158), 4);
    CResourceSource wrongType;
    EXPECT_EQ(wrongType.Open(157, 2), 4);
}

class TestSink : public CImageSink {
public:
    explicit TestSink(int capacity) : m_storage(size_t(capacity), 0xAB) {
        OpenCommon("t", m_storage.data(), capacity);
    }
    std::vector<uint8_t> m_storage;
};

TEST(ImageSink, CapacityHoldsToTheByte) {
    TestSink sink(10);
    const uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(sink.WriteBytes(6, data), 6);
    sink.SkipBytes(2);
    EXPECT_EQ(sink.WriteBytes(2, data), 2);
    EXPECT_EQ(sink.GetPosition(), 10);
    EXPECT_EQ(sink.m_storage, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0xAB, 0xAB, 1, 2}));
    for (auto step :
         {+[](TestSink& s) { s.WriteBytes(1, "x"); }, +[](TestSink& s) { s.SkipBytes(1); }}) {
        try {
            step(sink);
            ADD_FAILURE();
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), 11);
            EXPECT_EQ(e.GetText(), "Buffer overflow while encoding.\n");
        }
    }
    EXPECT_EQ(sink.m_storage.back(), 2); // nothing written past the capacity
}

TEST(FileSink, WritesWholeOnCloseAndNothingFromTheDestructor) {
    const std::string path = TempPath("sink.bin");
    std::ofstream(path) << "older";
    {
        CFileSink sink;
        ASSERT_EQ(sink.Open(path, 8), 0);
        sink.WriteBytes(3, "abc");
    } // destroyed while open, as when an encoder throws: the older file stays
    EXPECT_EQ(ReadFile(path), "older");
    CFileSink sink;
    ASSERT_EQ(sink.Open(path, 8), 0);
    sink.WriteBytes(3, "abc");
    sink.SkipBytes(1); // padding reaches the file as zero
    sink.WriteBytes(1, "d");
    EXPECT_EQ(ReadFile(path), "older") << "nothing is written before the close";
    sink.Close();
    EXPECT_EQ(ReadFile(path), std::string("abc\0d", 5));
    std::remove(path.c_str());

    CFileSink failing;
    EXPECT_EQ(failing.Open(TempPath("nofolder") + "/x.bmp", 8), -1);
}

// A full disk (here the file size limit, which fails a write the same way) is an error,
// not a success, and leaves the name as it was.
TEST(FileSink, AFullDiskIsAnErrorNotASuccess) {
    const std::string path = TempPath("full.bin");
    std::ofstream(path) << "older";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8, 8};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CFileSink sink;
        if (sink.Open(path, 16) != 0)
            ::_exit(2);
        sink.WriteBytes(16, "0123456789abcdef");
        try {
            sink.Close();
        } catch (const CTextException& e) {
            ::_exit(e.GetCode() == -1 &&
                            e.GetText() == "Writing " + path + " failed: File too large\n"
                        ? 0
                        : 3);
        }
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(path), "older");
    std::remove(path.c_str());
}

} // namespace
