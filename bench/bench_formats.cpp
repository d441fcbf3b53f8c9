// HEIC decoding and AVIF and WebP writing of a 12-megapixel photo, each against the
// command-line tool of the same library doing the same conversion with the same settings:
//   PNG -> WebP  : our PNG decoder + CWebpEncoder          vs  cwebp -q Q -m 4
//   PNG -> AVIF  : our PNG decoder + CAvifEncoder          vs  avifenc (libaom, same speed,
//                                                              4:2:0, one thread, same cq-level)
//   HEIC -> PNG  : CHeifDecoder + our PNG encoder           vs  heif-convert
//   HEIC decoding: CHeifDecoder alone                       vs  heif-convert to Y4M (which
//                  writes the decoded YCbCr planes as they are: no RGB conversion at all)
// Both sides read and write files in the same folder. The machine is shared, so the figure
// is processor time (user + system, the tool's from wait4), taken in pairs, ours and the
// tool's one after the other, and the median of the pairs' ratios is reported.
//
// Usage: qm_bench_formats [ROUNDS] [QUALITY]
#include "imagelib/autodetectdecoder.h"
#include "imagelib/avifencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/textexception.h"
#include "imagelib/webpencoder.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

double Seconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

// Processor time of f in this process (all its threads).
double OwnTime(const std::function<void()>& f) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    f();
    getrusage(RUSAGE_SELF, &after);
    return Seconds(after) - Seconds(before);
}

// Processor time of a child running the command; -1 when it failed.
double ToolTime(const std::vector<std::string>& args) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        // The tool's own output would mix with the table.
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? Seconds(usage) : -1;
}

// A 4000 x 3000 photo-like picture: smooth light, edges, and sensor-like noise.
void Photo(CImageBitmap& bitmap) {
    const int w = 4000, h = 3000;
    bitmap.Create(w, h, 32, false);
    std::mt19937 random(12);
    std::normal_distribution<double> noise(0, 4);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = bitmap.GetLines()[y];
        for (int x = 0; x < w; ++x, p += 4) {
            const double sky = y < h / 3 ? 1.0 : 0.0;
            const double hill = ((x / 7 + y / 5) % 97) / 97.0;
            const double base[3] = {120 + 90 * sky + 40 * hill, 100 + 60 * sky + 70 * hill,
                                    60 + 150 * sky + 20 * hill};
            for (int c = 0; c < 3; ++c)
                p[c] = uint8_t(std::clamp(base[c] + noise(random), 0.0, 255.0));
            p[3] = 255;
        }
    }
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int quality = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 100) : 75;
    // libheif's AV1 plugin maps the quality onto libaom's constant-quality level this way.
    const int cqLevel = ((100 - quality) * 63 + 50) / 100;
    const std::string dir = std::filesystem::temp_directory_path() / "qm-bench-formats";
    std::filesystem::create_directories(dir);
    const std::string png = dir + "/photo.png", heic = dir + "/photo.heic";
    try {
        CMemoryBitmap photo;
        Photo(photo);
        CPngEncoder().EncodeFile(png, photo);
        if (ToolTime({"heif-enc", "-q", "80", png, "-o", heic}) < 0) {
            std::fprintf(stderr, "heif-enc failed\n");
            return 1;
        }
        std::printf("12 MP (4000 x 3000), quality %d, %d rounds, processor seconds (median)\n",
                    quality, rounds);
        struct Pair {
            const char* name;
            std::function<void()> ours;
            std::vector<std::string> tool;
            std::string ourOutput, toolOutput;
        };
        CAutoDetectDecoder decoder;
        const Pair pairs[] = {
            {"PNG -> WebP",
             [&] {
                 CMemoryBitmap b;
                 decoder.DecodeFile(png, b, 32);
                 CWebpEncoder e;
                 e.SetQuality(quality);
                 e.EncodeFile(dir + "/ours.webp", b);
             },
             {"cwebp", "-q", std::to_string(quality), "-m", std::to_string(CWebpEncoder::kMethod),
              png, "-o", dir + "/tool.webp"},
             dir + "/ours.webp",
             dir + "/tool.webp"},
            {"PNG -> AVIF",
             [&] {
                 CMemoryBitmap b;
                 decoder.DecodeFile(png, b, 32);
                 CAvifEncoder e;
                 e.SetQuality(quality);
                 e.EncodeFile(dir + "/ours.avif", b);
             },
             {"avifenc", "-j", "1", "-s", std::to_string(CAvifEncoder::kSpeed), "-y", "420",
              "--min", "0", "--max", "63", "-a", "end-usage=q", "-a",
              "cq-level=" + std::to_string(cqLevel), png, dir + "/tool.avif"},
             dir + "/ours.avif",
             dir + "/tool.avif"},
            {"HEIC -> PNG",
             [&] {
                 CMemoryBitmap b;
                 decoder.DecodeFile(heic, b, 32);
                 CPngEncoder().EncodeFile(dir + "/ours.png", b);
             },
             {"heif-convert", heic, dir + "/tool.png"},
             dir + "/ours.png",
             dir + "/tool.png"},
            {"HEIC decode",
             [&] {
                 CMemoryBitmap b;
                 decoder.DecodeFile(heic, b, 32);
             },
             {"heif-convert", heic, dir + "/tool.y4m"},
             heic,
             dir + "/tool.y4m"},
        };
        for (const Pair& pair : pairs) {
            std::vector<double> ours, tool, ratio;
            for (int i = 0; i < rounds; ++i) {
                const double a = OwnTime(pair.ours);
                const double b = ToolTime(pair.tool);
                if (b <= 0) {
                    std::fprintf(stderr, "%s: the tool failed\n", pair.tool[0].c_str());
                    return 1;
                }
                ours.push_back(a);
                tool.push_back(b);
                ratio.push_back(a / b);
            }
            std::printf("%-12s ours %.3f s  %-12s %.3f s  ratio %.3f  sizes %ju / %ju bytes\n",
                        pair.name, Median(ours), pair.tool[0].c_str(), Median(tool), Median(ratio),
                        std::uintmax_t(std::filesystem::file_size(pair.ourOutput)),
                        std::uintmax_t(std::filesystem::file_size(pair.toolOutput)));
        }
    } catch (const CTextException& e) {
        std::fprintf(stderr, "%s\n", e.GetText().c_str());
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
