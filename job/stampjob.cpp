#include "job/stampjob.h"

#include "core/stampcompositing.h"
#include "imagelib/exifedit.h"
#include "imagelib/textexception.h"
#include "job/outputnames.h"
#include "job/photostamp.h"

#include <sched.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// Pictures are allocated and freed whole, one after another on every worker. Above
// glibc's mapping threshold each came as fresh pages from the kernel and went back when
// freed: page faults, zeroing and unmapping cost some 15 % of a batch's time, the workers
// queueing for one memory map. Kept in the heap, the next picture reuses the pages; the
// peak stays what the workers hold at once. Up to 256 MB: photos to 64 megapixels.
void KeepPictureMemory() {
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 256 << 20); });
#endif
}

// The library's texts end with a line feed that the log line replaces with its own line
// end; the last character goes whatever it is.
std::string ShownText(const std::string& text) {
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

// Paths compared for "the same file": two spellings of one folder ("a//b", "a/./b") must
// not let two writers of one output run at once.
std::string PathKey(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

// The "-N" names tried beside one output before its file fails.
constexpr int kMaxKeptBeside = 99999;

// A file of the run from the moment it is decided until it is delivered to the host.
struct CFileSlot {
    int index = 0;
    std::string output;
    std::string input; // known once the file is decided
    std::string outputKey;
    std::string inputKey;
    bool replace = false; // an existing output may be replaced
    bool decided = false; // skipped, or its input asked for
    bool started = false; // handed to a worker
    bool done = false;    // result ready; written by the worker under the pool's lock
    CStampFileResult result;
    // The name is settled when the file is delivered (see CStampJob).
    bool held = false;
    CHeldOutput hold;
    // What the name template made of this input's path, when that is no usable name.
    std::string nameProblem;
};

// Runs started files. The serial kind stamps a file inside Start on the calling thread:
// the run of one worker is the plain loop, without a thread of its own.
class CExecutor {
public:
    virtual ~CExecutor() = default;
    virtual void Start(CFileSlot& slot) = 0;
    virtual bool IsDone(const CFileSlot& slot) = 0;
    virtual bool HasFreeWorker() = 0;
    // Returns once a file has finished since the last return (at once if one has).
    virtual void WaitForAny() = 0;
};

class CSerialExecutor : public CExecutor {
public:
    explicit CSerialExecutor(const CStampRun& run) : m_worker(run) {}
    void Start(CFileSlot& slot) override {
        slot.result = m_worker.StampFile(slot.input, slot.output, slot.replace,
                                         slot.held ? &slot.hold : nullptr);
        slot.done = true;
    }
    bool IsDone(const CFileSlot& slot) override { return slot.done; }
    bool HasFreeWorker() override { return true; }
    void WaitForAny() override {}

private:
    CStampWorker m_worker;
};

class CParallelExecutor : public CExecutor {
public:
    CParallelExecutor(const CStampRun& run, int count) {
        for (int i = 0; i < count; ++i) {
            try {
                m_threads.emplace_back([this, &run] { WorkerLoop(run); });
            } catch (const std::system_error&) {
                break; // fewer threads than asked for still do the work
            }
        }
    }
    ~CParallelExecutor() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_work.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }
    int ThreadCount() const { return int(m_threads.size()); }

    void Start(CFileSlot& slot) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(&slot);
            ++m_busy;
        }
        m_work.notify_one();
    }
    bool IsDone(const CFileSlot& slot) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return slot.done;
    }
    bool HasFreeWorker() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_busy < int(m_threads.size());
    }
    void WaitForAny() override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_finishedCv.wait(lock, [this] { return m_finished != m_seen; });
        m_seen = m_finished;
    }

private:
    void WorkerLoop(const CStampRun& run) {
        CStampWorker worker(run);
        for (;;) {
            CFileSlot* slot = nullptr;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_work.wait(lock, [this] { return m_quit || !m_queue.empty(); });
                if (m_queue.empty())
                    return;
                slot = m_queue.front();
                m_queue.pop_front();
            }
            // The slot's paths are not touched by the coordinator while it is in flight.
            CStampFileResult result = worker.StampFile(slot->input, slot->output, slot->replace,
                                                       slot->held ? &slot->hold : nullptr);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                slot->result = std::move(result);
                slot->done = true;
                --m_busy;
                ++m_finished;
            }
            m_finishedCv.notify_one();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_finishedCv;
    std::deque<CFileSlot*> m_queue;
    int m_busy = 0;
    uint64_t m_finished = 0;
    uint64_t m_seen = 0;
    bool m_quit = false;
    std::vector<std::thread> m_threads;
};

} // namespace

int DefaultJobWorkers() {
    // The cores this process may run on, which a container or taskset may hold below the
    // machine's count.
    cpu_set_t set;
    int cores = 0;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        cores = CPU_COUNT(&set);
    if (cores <= 0)
        cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, kMaxJobWorkers);
}

const char* JobExtension(bool bmpChecked, bool pngChecked) {
    if (bmpChecked)
        return ".bmp";
    if (pngChecked)
        return ".png";
    return ".jpg";
}

std::string OutputTypeExtension(int outputType) {
    const CImageFormat* format = OutputFormat(outputType);
    return format ? format->OutputExtension() : std::string(".jpg");
}

// ---- CStampWorker

CStampWorker::CStampWorker(const CStampRun& run) : m_run(run), m_memory(run.budget) {
    m_jpegEncoder.SetQuality(run.jpegQuality);
    m_decoder.SetResize(run.resize, run.followExif);
    m_webpEncoder.SetQuality(run.jpegQuality);
    m_avifEncoder.SetQuality(run.jpegQuality);
    m_decoder.SetSizeGate(
        [this](int64_t width, int64_t height) { m_memory.TakePicture(width, height); });
}

CStampWorker::~CStampWorker() = default;

CImageEncoder& CStampWorker::Encoder() {
    switch (m_run.outputType) {
    case kOutputBmp:
        return m_bmpEncoder;
    case kOutputPng:
        return m_pngEncoder;
    case kOutputWebp:
        return m_webpEncoder;
    case kOutputAvif:
        return m_avifEncoder;
    default:
        return m_jpegEncoder;
    }
}

void CStampWorker::StampPicture() {
    // A transparent photo going where alpha cannot: on the background first, as a viewer
    // shows it, so that its transparent parts do not come out black.
    const CImageFormat* output = OutputFormat(m_run.outputType);
    if (m_bitmap.HasAlpha() && !(output && output->alpha))
        FlattenOntoBackground(m_bitmap, m_run.background);
    if (m_run.shaper) {
        // Only JPEG output with its headers kept tells a viewer to turn the picture; the
        // other formats that keep EXIF hold their pixels upright.
        const CImageFormat* format = output;
        int64_t copies = 0;
        StampPhoto(m_bitmap, *m_run.shaper,
                   {m_run.halign, m_run.valign, m_run.offsetX, m_run.offsetY, m_run.followExif},
                   format && format->keepsOrientation && m_run.preserveHeaders, &copies,
                   m_inputPath);
        RequireStampOnPicture(copies);
        return;
    }
    const CImageBitmap& stamp = *m_run.stamp;
    const CStampPlacement placement = ComputeStampPlacement(
        stamp, m_bitmap, m_run.halign, m_run.valign, m_run.offsetX, m_run.offsetY);
    RequireStampOnPicture(placement.width > 0 && placement.height > 0 ? 1 : 0);
    if (m_run.blend)
        BlendStampPixels(stamp, m_bitmap, placement);
    else
        CopyStampPixels(stamp, m_bitmap, placement);
}

void CStampWorker::EncodeOutput(COutputFile& output) {
    CImageEncoder& encoder = Encoder();
    // The JPEG, WebP and AVIF encoders write back the markers (or the EXIF block among them)
    // that the bitmap carries; they are dropped unless headers are preserved.
    if (!m_run.preserveHeaders)
        m_bitmap.FreeMarkers();
    // A copy of another size: its EXIF tells the new size and loses the thumbnail.
    const bool resized = m_resized;
    if (m_bitmap.GetMarkers())
        EditOutputMarkers(m_bitmap.GetMarkers(),
                          {resized ? m_bitmap.GetWidth() : 0, resized ? m_bitmap.GetHeight() : 0,
                           m_run.stripLocation});
    encoder.EncodeOutput(output, m_bitmap);
}

bool CStampWorker::StampLosslessly(CImageSource& input, COutputFile& output) {
    // A resized copy has no coefficients in common with its photo.
    if (!m_run.losslessJpeg || m_run.outputType != kOutputJpeg || m_run.resize.Active())
        return false;
    CLosslessStampPlan plan{m_run.stamp,           m_run.blend,        m_run.halign,
                            m_run.valign,          m_run.offsetX,      m_run.offsetY,
                            m_run.preserveHeaders, m_run.shaper.get(), m_run.followExif};
    plan.stripLocation = m_run.stripLocation;
    plan.admit = [this](int64_t width, int64_t height) { m_memory.TakePicture(width, height); };
    plan.inputPath = m_inputPath;
    plan.seeMarkers = m_seeMarkers;
    if (!m_lossless.StampSource(input, plan, m_losslessBytes))
        return false;
    output.Write(m_losslessBytes.data(), m_losslessBytes.size());
    // The next photo writes into the same pages: fresh ones cost a fault each. A rare huge
    // file's room is not held for the rest of the run.
    if (m_losslessBytes.capacity() > (size_t(64) << 20))
        std::vector<uint8_t>().swap(m_losslessBytes);
    else
        m_losslessBytes.clear();
    return true;
}

CStampFileResult CStampWorker::StampFile(const std::string& inputPath,
                                         const std::string& outputPath, bool replace,
                                         CHeldOutput* held) {
    CStampFileResult result;
    result.input = inputPath;
    result.output = outputPath;
    const auto start = std::chrono::steady_clock::now();
    m_inputPath = inputPath;
    // A name from the photo is made as soon as its markers are read, and refused before
    // the picture is encoded.
    std::string nameProblem;
    if (held && held->name)
        m_seeMarkers = [&](const CSavedMarker* markers) {
            result.output = held->name(markers, nameProblem);
        };
    auto requireName = [&] {
        if (!nameProblem.empty())
            throw CTextException(-1, nameProblem + "\n");
    };
    try {
        COutputFile own;
        if (held)
            held->file = std::make_unique<COutputFile>();
        COutputFile& output = held ? *held->file : own;
        // First: a file that can never be written costs no decoding.
        m_run.outputs->Create(output, m_run.outputFolder, outputPath, !held);
        // Read once, for whichever path takes it.
        CFileSource input;
        CImageDecoder::OpenFile(input, inputPath);
        if (!StampLosslessly(input, output)) {
            m_decoder.Decode(input, m_bitmap, 32);
            input.Close(); // its bytes are not held while the output is made
            if (m_seeMarkers)
                m_seeMarkers(m_bitmap.GetMarkers());
            requireName();
            // In the stored grid, before a turn upright could swap the sides.
            m_resized = m_bitmap.GetWidth() != m_decoder.GetFullWidth() ||
                        m_bitmap.GetHeight() != m_decoder.GetFullHeight();
            StampPicture();
            EncodeOutput(output);
        }
        requireName();
        // Lost to a file that appeared meanwhile, without overwrite: as if it had been there
        // when the file was picked. The temporary goes with the output object.
        if (held)
            result.status = CStampFileResult::Created; // named by the run
        else
            result.status = m_run.outputs->Commit(output, replace, inputPath) ==
                                    COutputRegistry::CCommit::Created
                                ? CStampFileResult::Created
                                : CStampFileResult::Skipped;
    } catch (const CTextException& e) {
        result.status = CStampFileResult::Failed;
        result.message = ShownText(e.GetText());
    } catch (const std::exception& e) {
        // Not the library's own failure: still only this file is lost, and the worker must
        // not die with it. The text carries no line feed of its own, so it is kept whole.
        result.status = CStampFileResult::Failed;
        result.message = e.what();
    }
    if (held && result.status != CStampFileResult::Created)
        held->file.reset(); // the temporary goes
    m_seeMarkers = nullptr;
    // The next picture reuses these pixels' pages (allocating them anew costs some 20 % of
    // a batch of photos). Where the budget is tight, they go with their share, so that what
    // the budget lends out is what the workers hold.
    if (m_run.budget && m_memory.Bytes() > m_run.budget->Total() / 8)
        m_bitmap.Create(0, 0, 32, false);
    m_memory.Release();
    result.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// ---- CStampJob

CStampJob::CStampJob(const CStampJobParams& params) : m_params(params) {}

CStampJob::~CStampJob() = default;

CStampJobSummary CStampJob::Run() {
    KeepPictureMemory();
    CStampJobHost& host = m_params.host;
    CStampJobSummary summary;
    CStampRun run;
    run.stamp = &m_params.stamp;
    run.blend = m_params.blend;
    run.halign = m_params.halign;
    run.valign = m_params.valign;
    run.offsetX = m_params.offsetX;
    run.offsetY = m_params.offsetY;
    run.shaper = m_params.shaper;
    run.followExif = m_params.followExif;
    run.losslessJpeg = m_params.losslessJpeg;
    run.background = m_params.background;
    run.jpegQuality = host.GetJpegQuality();
    run.preserveHeaders = host.IsPreserveHeadersChecked() && !m_params.stripMetadata;
    run.resize = m_params.resize;
    run.stripLocation = m_params.stripLocation;
    const std::string outputFolder = host.GetOutputFolder();
    run.outputFolder = outputFolder;
    run.outputType = host.GetOutputType();
    if (!OutputFormat(run.outputType))
        run.outputType = kOutputJpeg;
    run.extension = OutputTypeExtension(run.outputType);
    // Taken now, on this thread: the workers may need the list and must not ask the host.
    const std::vector<std::string> inputPaths = host.GetFilePaths();
    COutputRegistry outputs([&inputPaths] { return inputPaths; });
    run.outputs = &outputs;
    COutputNamer namer;
    std::string templateProblem;
    namer.Parse(m_params.nameTemplate, templateProblem);
    const bool keepBoth = m_params.keepBoth;
    // Names settled at delivery, in input order (see the class comment).
    const bool settleInOrder = keepBoth || namer.NeedsPhoto();
    const int runCount = int(inputPaths.size());
    // Where each kept-beside name goes on: the names below it are taken.
    std::map<std::string, int> nextBeside;

    const int workers = std::clamp(m_params.workers, 1, kMaxJobWorkers);
    CMemoryBudget budget(CMemoryBudget::SystemBudget(workers));
    run.budget = &budget;
    std::unique_ptr<CExecutor> executor;
    if (workers > 1) {
        auto parallel = std::make_unique<CParallelExecutor>(run, workers);
        if (parallel->ThreadCount() > 0)
            executor = std::move(parallel);
    }
    if (!executor)
        executor = std::make_unique<CSerialExecutor>(run);

    // Gives a file written under its temporary its name, as the serial run would at this
    // point of the run.
    auto settleName = [&](CFileSlot& slot) {
        CStampFileResult& result = slot.result;
        const std::unique_ptr<COutputFile> file = std::move(slot.hold.file);
        if (!file || result.status != CStampFileResult::Created)
            return;
        const std::string wanted = result.output;
        try {
            if (!keepBoth) {
                const COutputRegistry::CCheck check = outputs.Check(wanted);
                if (check.state == COutputRegistry::CState::Written ||
                    check.state == COutputRegistry::CState::Input) {
                    result.status = CStampFileResult::Failed;
                    result.message = COutputRegistry::RefusalText(check, wanted, result.input);
                    return;
                }
                if (check.state == COutputRegistry::CState::Exists && !slot.replace) {
                    result.status = CStampFileResult::Skipped;
                    return;
                }
                if (slot.replace)
                    file->CheckReplaceable(wanted);
                if (outputs.Commit(*file, slot.replace, result.input, wanted) !=
                    COutputRegistry::CCommit::Created)
                    result.status = CStampFileResult::Skipped;
                return;
            }
            // Whatever is under a name, an input or a file of this run included, stays.
            int& k = nextBeside[PathKey(wanted)];
            for (;; ++k) {
                if (k > kMaxKeptBeside)
                    throw CTextException(-1, "no free name beside " + wanted + " up to -" +
                                                 std::to_string(kMaxKeptBeside) + "\n");
                const std::string name = k == 0 ? wanted : KeptBesidePath(wanted, run.extension, k);
                if (outputs.Check(name).state != COutputRegistry::CState::Free)
                    continue;
                if (outputs.Commit(*file, false, result.input, name) ==
                    COutputRegistry::CCommit::Created) {
                    result.output = name;
                    ++k;
                    return;
                }
            }
        } catch (const CTextException& e) {
            result.status = CStampFileResult::Failed;
            result.message = ShownText(e.GetText());
        }
    };
    auto deliver = [&](CFileSlot& slot) {
        if (slot.held)
            settleName(slot);
        const CStampFileResult& result = slot.result;
        std::string line;
        switch (result.status) {
        case CStampFileResult::Created:
            line = "OK: " + result.output + " created \r\n";
            ++summary.created;
            break;
        case CStampFileResult::Skipped:
            line = "ERR: " + result.output + " allready existing \r\n";
            ++summary.skipped;
            break;
        case CStampFileResult::Failed:
            line = "ERR: " + result.input + " : " + result.message + "\r\n";
            ++summary.failed;
            break;
        }
        host.SetLogText(host.GetLogText() + line);
        host.FileDone(result);
        // A skipped file neither scrolls the log nor moves the bar.
        if (result.status != CStampFileResult::Skipped) {
            host.ScrollLogToEnd();
            host.SetProgressPosition(slot.index + 1);
        }
    };
    // Whether a file in flight writes what this one reads or writes, or reads what it
    // writes.
    auto blocked = [&](const std::deque<std::unique_ptr<CFileSlot>>& pending,
                       const CFileSlot& slot) {
        for (const auto& other : pending) {
            if (!other->started || executor->IsDone(*other))
                continue;
            // Names settled in order never meet in flight: only delivered files take names.
            if (!slot.outputKey.empty() &&
                ((!settleInOrder && other->outputKey == slot.outputKey) ||
                 other->inputKey == slot.outputKey))
                return true;
            if (slot.decided && !other->outputKey.empty() && other->outputKey == slot.inputKey)
                return true;
        }
        return false;
    };

    // Files decided but not yet delivered, in input order. A bounded look-ahead keeps the
    // results waiting behind one slow file few, whatever the length of the list.
    std::deque<std::unique_ptr<CFileSlot>> pending;
    const size_t lookAhead = size_t(workers) * 4;
    std::unique_ptr<CFileSlot> next; // the file to start next, once nothing blocks it
    int nextIndex = 0;
    bool stopped = false;
    for (;;) {
        while (!pending.empty() && executor->IsDone(*pending.front())) {
            deliver(*pending.front());
            pending.pop_front();
        }
        if (stopped || !executor->HasFreeWorker() || pending.size() >= lookAhead) {
            if (pending.empty())
                break; // stopped, and everything in flight is delivered
            executor->WaitForAny();
            continue;
        }
        const bool more = next || nextIndex < host.GetFileCount();
        // The stop is asked before every file and once after the last one: a stop pressed
        // while the last files were in progress must still be seen to be taken.
        if ((more || nextIndex > 0) && !host.IsStopEnabled()) {
            stopped = true;
            next.reset();
            continue;
        }
        if (!more) {
            if (pending.empty())
                break;
            executor->WaitForAny();
            continue;
        }
        if (!next) {
            next = std::make_unique<CFileSlot>();
            next->index = nextIndex++;
            const std::string title = host.GetFileTitle(next->index);
            if (namer.IsDefault()) {
                next->output = OutputPath(outputFolder, title + run.extension);
            } else {
                // The title's sub-folders (a recursive or mirrored input) stay; the name is
                // the template's.
                const size_t slash = title.rfind('/');
                const std::string folders =
                    slash == std::string::npos ? std::string() : title.substr(0, slash + 1);
                const std::string path = next->index < runCount ? inputPaths[size_t(next->index)]
                                                                : host.GetFilePath(next->index);
                if (namer.NeedsPhoto()) {
                    // Where its temporary goes until the photo names it.
                    next->output =
                        OutputPath(outputFolder, folders + FileTitle(path) + run.extension);
                    next->hold.name = [&namer, &run, &outputFolder, folders, path,
                                       index = next->index, runCount](const CSavedMarker* markers,
                                                                      std::string& problem) {
                        return OutputPath(
                            outputFolder,
                            folders +
                                namer.Name(path, markers, index, runCount, run.extension, problem) +
                                run.extension);
                    };
                } else {
                    next->output = OutputPath(outputFolder,
                                              folders +
                                                  namer.Name(path, nullptr, next->index, runCount,
                                                             run.extension, next->nameProblem) +
                                                  run.extension);
                }
            }
            next->held = settleInOrder;
            // A name from the photo is known only once it is read: nothing to wait for.
            next->outputKey = namer.NeedsPhoto() ? std::string() : PathKey(next->output);
        }
        if (blocked(pending, *next)) {
            executor->WaitForAny();
            continue;
        }
        CFileSlot& slot = *next;
        if (!slot.decided && !slot.nameProblem.empty()) {
            slot.result.input = host.GetFilePath(slot.index);
            slot.result.output = slot.output;
            slot.result.status = CStampFileResult::Failed;
            slot.result.message = slot.nameProblem;
            slot.decided = slot.done = true;
            pending.push_back(std::move(next));
            continue;
        }
        if (!slot.decided && slot.held) {
            // Refusals and existing files are met when the name is settled.
            slot.replace = host.IsOverwriteChecked() && !keepBoth;
            slot.input = host.GetFilePath(slot.index);
            slot.inputKey = PathKey(slot.input);
            slot.decided = true;
            if (blocked(pending, slot))
                continue;
        }
        if (!slot.decided) {
            // Decided only now that no earlier file is writing this output, so the test
            // sees what the serial run would see.
            const bool overwrite = host.IsOverwriteChecked();
            const COutputRegistry::CCheck check = outputs.Check(slot.output);
            const bool refused = check.state == COutputRegistry::CState::Written ||
                                 check.state == COutputRegistry::CState::Input;
            if (refused || (!overwrite && check.state == COutputRegistry::CState::Exists)) {
                slot.result.input = host.GetFilePath(slot.index);
                slot.result.output = slot.output;
                slot.result.status = refused ? CStampFileResult::Failed : CStampFileResult::Skipped;
                if (refused)
                    slot.result.message =
                        COutputRegistry::RefusalText(check, slot.output, slot.result.input);
                slot.decided = slot.done = true;
                pending.push_back(std::move(next));
                continue;
            }
            slot.replace = overwrite;
            slot.input = host.GetFilePath(slot.index);
            slot.inputKey = PathKey(slot.input);
            slot.decided = true;
            if (blocked(pending, slot))
                continue; // an earlier file writes this input; wait for it as above
        }
        slot.started = true;
        pending.push_back(std::move(next));
        executor->Start(slot);
    }
    if (stopped) {
        host.SetLogText(host.GetLogText() + "canceled");
        summary.canceled = true;
    }
    executor.reset();

    host.ClearStampingFlag();
    host.EnableRunControls();
    host.SetProgressPosition(0);
    host.EnableFormatControls(OutputFormat(run.outputType)->quality);
    return summary;
}

std::vector<std::string> CStampJobHost::GetFilePaths() {
    std::vector<std::string> paths;
    const int count = GetFileCount();
    for (int i = 0; i < count; ++i)
        paths.push_back(GetFilePath(i));
    return paths;
}

std::string FileTitle(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::string OutputPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

int RunJob(std::unique_ptr<CStampJobParams> params) {
    CStampJob job(*params);
    job.Run();
    return 0;
}
