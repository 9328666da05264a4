// Speed and memory of the show, measured against the least work the same machine needs for the
// same files in the same run. Prints one line per figure and one per target, each ratio from
// pairs measured turn about; see Verdict.h for how a target is judged.
#include "BenchPhotos.h"
#include "BenchSupport.h"
#include "RealShow.h"
#include "TestSupport.h"
#include "Verdict.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "show/DecodeQueue.h"
#include "show/PictureCache.h"
#include "system/MonitorProfiles.h"
#include "viewer/frmMain.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using bench::figure;
using bench::note;
using bench::spreadOf;
using bench::target;

constexpr QSize kPhoto(6000, 4000);
constexpr int kPhotos = 20;
constexpr QSize kInner = kShowInner;
constexpr int kProfiledPhotos = 6;
// Pairs measured turn about for every ratio of the in-process part; each pair is a few ticks.
constexpr int kRounds = 7;
constexpr int kTicksPerRound = 3;
// The real 24 MP show's peak resident memory, in order and at random alike, when the larger sets
// came in, on two cores; the show may grow it by a tenth at most.
constexpr double kPeak24MpShowMb = 73.6;

QString photoName(int i)
{
    return QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
}

double millisecondsOf(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return double(clock.nsecsElapsed()) / 1e6;
}

double cpuClockMs(clockid_t clock)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double processCpuMs()
{
    return cpuClockMs(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuMs()
{
    return cpuClockMs(CLOCK_THREAD_CPUTIME_ID);
}

// The processor time of work done on a thread of the pool, as the show decodes: there Qt scales
// and converts colours on that one thread, where on this one it would spread them over the pool.
double onWorkerCpuMs(const std::function<void()> &work)
{
    const double before = processCpuMs();
    QThreadPool::globalInstance()->start(work);
    QThreadPool::globalInstance()->waitForDone();
    return processCpuMs() - before;
}

// Each pair's ratio, the first measurement over the second.
std::vector<double> ratios(const std::vector<double> &over, const std::vector<double> &under)
{
    std::vector<double> result;
    for (size_t i = 0; i < std::min(over.size(), under.size()); ++i)
        result.push_back(over[i] / under[i]);
    return result;
}

std::vector<double> dividedBy(std::vector<double> values, double by)
{
    for (double &value : values)
        value /= by;
    return values;
}

// The least work: libjpeg-turbo alone, at the smallest DCT scale whose output covers the area.
void floorDecode(const QByteArray &data)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const uchar *>(data.constData()), data.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGRX;
    for (unsigned m = 1; m <= 8; ++m) {
        cinfo.scale_num = m;
        cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&cinfo);
        if (int(cinfo.output_width) >= kInner.width() &&
            int(cinfo.output_height) >= kInner.height())
            break;
    }
    jpeg_start_decompress(&cinfo);
    std::vector<uchar> row(size_t(cinfo.output_width) * 4);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

void naiveDecode(const QString &path)
{
    QImageReader reader(path);
    const QImage full = reader.read();
    const QImage shown = full.scaled(kInner, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    Q_UNUSED(shown);
}

// The event loop, idle: nothing of the rest's own shows in the processor time.
void rest(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void resetPeakMemory()
{
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

void makeEmptyFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
}

void ageFolder(const QString &folder)
{
    const timespec old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), old, 0);
}

// What one tick of a show costs in processor time: the rest before it, in which the worker
// decodes ahead, and the tick (the pick, the load, the fit and one paint into an offscreen
// image), the whole process and the user-interface thread's share.
struct TickCost {
    double allMs = 0;
    double uiMs = 0;
};

// Runs ticks of a show in a window whose inner area is kInner, after one that starts it up.
std::vector<TickCost> tickCosts(frmMain &w, int ticks, int order, int restMs)
{
    QImage screen(kInner, QImage::Format_RGB32);
    w.chkRND->setValue(order);
    w.cmdStart_Click();
    w.Timer1->setEnabled(false);
    std::vector<TickCost> costs;
    for (int i = 0; i <= ticks; ++i) {
        const double all = processCpuMs(), ui = threadCpuMs();
        rest(restMs);
        w.Timer1_Timer();
        // A tick whose picture is not decoded yet ends when it is.
        waitForPictures(w, kForever);
        w.Timer1->setEnabled(false);
        QPainter painter(&screen);
        w.render(&painter);
        painter.end();
        if (i > 0)
            costs.push_back({processCpuMs() - all, threadCpuMs() - ui});
    }
    w.slideShow().stop();
    return costs;
}

double medianAll(const std::vector<TickCost> &costs)
{
    std::vector<double> values;
    for (const TickCost &cost : costs)
        values.push_back(cost.allMs);
    return median(values);
}

double medianUi(const std::vector<TickCost> &costs)
{
    std::vector<double> values;
    for (const TickCost &cost : costs)
        values.push_back(cost.uiMs);
    return median(values);
}

bool openShowWindow(frmMain &w, const QString &folder)
{
    w.show();
    w.resize(kInner);
    w.Timer1->setInterval(1000000);
    if (w.fileList().SetFolder(folder))
        return true;
    note("could not scan %s", qPrintable(folder));
    return false;
}

// Ticks in order and at random next to the least work and the naive way, turn about: each round
// decodes a few photos the least way, runs a few ticks in order, decodes one photo the naive
// way, runs a few ticks at random.
void benchTicks(const QString &photos)
{
    frmMain w;
    if (!openShowWindow(w, photos)) {
        bench::unmeasured("ticks", "no photos");
        return;
    }
    std::vector<double> floors, naives, sequential, sequentialUi, random, randomUi;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<double> floor;
        for (int i = 0; i <= kTicksPerRound; ++i) { // the photos the ticks in order show
            const QByteArray data = readAll(photos + photoName(i));
            floor.push_back(onWorkerCpuMs([&] { floorDecode(data); }));
        }
        floors.push_back(median(floor));
        const std::vector<TickCost> inOrder = tickCosts(w, kTicksPerRound, 0, 300);
        sequential.push_back(medianAll(inOrder));
        sequentialUi.push_back(medianUi(inOrder));
        const QString naivePhoto = photos + photoName(round % (kTicksPerRound + 1));
        naives.push_back(onWorkerCpuMs([&] { naiveDecode(naivePhoto); }));
        const std::vector<TickCost> atRandom = tickCosts(w, kTicksPerRound, 1, 50);
        random.push_back(medianAll(atRandom));
        randomUi.push_back(medianUi(atRandom));
    }
    figure("floor: libjpeg-turbo DCT-scaled decode, CPU", spreadOf(floors), "ms");
    figure("naive: full decode + smooth scale, CPU", spreadOf(naives), "ms");
    figure("tick, sequential: all work (process CPU, rest and tick)", spreadOf(sequential), "ms");
    figure("tick, sequential: user-interface thread, CPU", spreadOf(sequentialUi), "ms");
    figure("tick, random: all work (process CPU, rest and tick)", spreadOf(random), "ms");
    figure("tick, random: user-interface thread, CPU", spreadOf(randomUi), "ms");
    target("tick sequential (all work) / floor", ratios(sequential, floors), 1.3);
    target("tick random (all work) / floor", ratios(random, floors), 1.3);
    target("tick sequential (all work) / naive", ratios(sequential, naives), 0.6);
    target("tick random (all work) / naive", ratios(random, naives), 0.6);
    target("tick sequential, UI thread / floor", ratios(sequentialUi, floors), 0.05);

    resetPeakMemory();
    const qint64 before = statusKb("VmRSS:");
    tickCosts(w, 100, 0, 120);
    const qint64 peak = statusKb("VmHWM:");
    figure("memory: resident before the 100 ticks", before / 1024.0, "MB");
    figure("memory: peak resident during 100 ticks of 24 MP", peak / 1024.0, "MB");
    target("peak resident MB during the 24 MP show / 150", {peak / 1024.0 / 150.0}, 1.0);
}

// What the ten pictures a step back shows at once hold, decoded for a window of `inner` device
// pixels: each is decoded, shown and then kept, as a show keeps its history.
qint64 historyBytes(const QString &photos, QSize inner)
{
    const show::DisplayKey key{float(inner.width() * 15), float(inner.height() * 15), 15, 1, {}};
    show::PictureCache decodes;
    QStringList kept;
    for (int i = 0; i < 10; ++i) {
        const QString path = photos + photoName(i);
        QEventLoop loop;
        decodes.fetch(show::Waiter::Screen, path, key,
                      [&](const imaging::Picture &) { loop.quit(); });
        if (decodes.waitingFor(show::Waiter::Screen))
            loop.exec();
        kept.prepend(path); // newest first
        decodes.plan({{}, kept}, key);
    }
    return decodes.keptBytes();
}

void benchHistory(const QString &photos)
{
    const double mb = 1024.0 * 1024.0;
    const double window = double(historyBytes(photos, kInner)) / mb;
    figure("history: ten 24 MP pictures kept at 1280x800", window, "MB");
    target("history at 1280x800 MB / 45", {window / 45.0}, 1.0);
    // A large screen's pictures are kept only as far as the budget leaves room beside decodes.
    const double large = double(historyBytes(photos, QSize(3840, 2160))) / mb;
    const double budget = double(show::DecodeLimits::ofMachine().ceilingBytes) / mb;
    figure("history: ten 24 MP pictures kept at 3840x2160", large, "MB");
    target(QStringLiteral("history at 3840x2160 MB / half the budget, %1").arg(budget / 2).toUtf8(),
           {large / (budget / 2)}, 1.0);
}

// The first photos again with an Adobe RGB profile embedded and their data left as it is: the
// same decode, and then the shown pixels converted to sRGB; and beside them the same photos as
// they are, in a folder of their own.
void writeProfiledCopies(const QString &photos, const QString &plain, const QString &profiled)
{
    QDir().mkpath(plain);
    QDir().mkpath(profiled);
    const QByteArray payload =
        QByteArray("ICC_PROFILE\0\x01\x01", 14) + QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const int length = int(payload.size()) + 2;
    const QByteArray segment =
        "\xFF\xE2" + QByteArray(1, char(length >> 8)) + char(length) + payload;
    for (int i = 0; i < kProfiledPhotos; ++i) {
        const QByteArray data = readAll(photos + photoName(i));
        writeAll(plain + photoName(i), data);
        writeAll(profiled + photoName(i), QByteArray(data).insert(2, segment));
    }
}

bool coloursConverted(const QString &plain, const QString &profiled)
{
    const imaging::DisplaySize display = [](QSize p) {
        return p.scaled(kInner, Qt::KeepAspectRatio);
    };
    return imaging::loadPicture(plain + photoName(0), display).image !=
           imaging::loadPicture(profiled + photoName(0), display).image;
}

// A monitor whose profile the bench sets, as a desktop would.
class BenchMonitor : public sys::MonitorProfiles {
public:
    QByteArray profileFor(const QScreen *) override { return m_icc; }
    void set(const QByteArray &icc)
    {
        m_icc = icc;
        emit changed();
    }

private:
    QByteArray m_icc;
};

// Ticks in order over photos with a colour profile, turn about with the same ticks over the same
// photos without one; and those without one on a monitor of a profile of its own.
void benchProfiled(const QString &photos, const QString &work)
{
    auto owned = std::make_unique<BenchMonitor>();
    BenchMonitor &monitor = *owned;
    const auto installed = overrideHook(sys::setMonitorProfiles, std::move(owned));
    const QByteArray adobeMonitor = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const QString plain = work + QStringLiteral("/plain");
    const QString profiled = work + QStringLiteral("/adobe");
    writeProfiledCopies(photos, plain, profiled);
    if (!coloursConverted(plain, profiled)) {
        bench::unmeasured("tick Adobe RGB / untagged (all work)", "colours not converted");
        return;
    }
    frmMain w;
    std::vector<double> untagged, tagged, taggedUi, onMonitor, onMonitorUi, untaggedUi;
    const auto scanned = [&w](const QString &folder) {
        if (openShowWindow(w, folder))
            return true;
        bench::unmeasured("tick Adobe RGB / untagged (all work)", "no photos");
        return false;
    };
    for (int round = 0; round < kRounds; ++round) {
        if (!scanned(plain))
            return;
        const std::vector<TickCost> plainCosts = tickCosts(w, kTicksPerRound, 0, 300);
        untagged.push_back(medianAll(plainCosts));
        untaggedUi.push_back(medianUi(plainCosts));
        monitor.set(adobeMonitor);
        const std::vector<TickCost> monitorCosts = tickCosts(w, kTicksPerRound, 0, 300);
        monitor.set(QByteArray());
        onMonitor.push_back(medianAll(monitorCosts));
        onMonitorUi.push_back(medianUi(monitorCosts));
        if (!scanned(profiled))
            return;
        const std::vector<TickCost> costs = tickCosts(w, kTicksPerRound, 0, 300);
        tagged.push_back(medianAll(costs));
        taggedUi.push_back(medianUi(costs));
    }
    figure("tick, Adobe RGB: all work (process CPU, rest and tick)", spreadOf(tagged), "ms");
    figure("tick, Adobe RGB: user-interface thread, CPU", spreadOf(taggedUi), "ms");
    figure("tick, untagged: all work, same photos", spreadOf(untagged), "ms");
    target("tick Adobe RGB / untagged (all work)", ratios(tagged, untagged), 1.1);
    figure("tick, untagged on an Adobe RGB monitor: all work", spreadOf(onMonitor), "ms");
    figure("tick, untagged on an Adobe RGB monitor: user-interface thread, CPU",
           spreadOf(onMonitorUi), "ms");
    figure("tick, untagged on an sRGB monitor: user-interface thread, CPU", spreadOf(untaggedUi),
           "ms");
    target("tick on an Adobe RGB monitor / on an sRGB monitor (all work)",
           ratios(onMonitor, untagged), 1.1);
}

void benchScan(const QString &root)
{
    const int folders = 2000, files = 50;
    QDir().mkpath(root);
    for (int f = 0; f < folders; ++f) {
        const QByteArray folder = QFile::encodeName(root) + "/s" + QByteArray::number(f);
        ::mkdir(folder.constData(), 0755);
        for (int i = 0; i < files; ++i)
            makeEmptyFile(folder + "/p" + QByteArray::number(i) + ".jpg");
    }
    const auto listOnce = [&] {
        std::vector<QByteArray> names;
        const auto list = [&](const QByteArray &dir) {
            DIR *d = ::opendir(dir.constData());
            if (!d)
                return;
            while (const dirent *e = ::readdir(d))
                names.emplace_back(e->d_name);
            ::closedir(d);
        };
        const QByteArray base = QFile::encodeName(root);
        list(base);
        for (int f = 0; f < folders; ++f)
            list(base + "/s" + QByteArray::number(f));
    };
    frmFileList source([] { return 1; });
    listOnce(); // the first reads the disk; every pair meets the folders cached
    source.SetFolder(root);
    std::vector<double> floor, scan;
    for (int run = 0; run < kRounds; ++run) {
        floor.push_back(millisecondsOf(listOnce));
        scan.push_back(millisecondsOf([&] { source.SetFolder(root); }));
    }
    figure("scan floor: one directory read per folder", spreadOf(floor), "ms");
    figure("scan: SetFolder, 2000 sub-folders x 50 pictures", spreadOf(scan), "ms");
    target("scan / listing floor", ratios(scan, floor), 2.0);
}

void benchPicks(const QString &folder)
{
    QDir().mkpath(folder);
    const QByteArray base = QFile::encodeName(folder);
    for (int i = 0; i < 100000; ++i)
        makeEmptyFile(base + "/p" + QByteArray::number(i) + ".jpg");
    ageFolder(folder); // a folder nobody touched lately, as a photo archive is
    frmFileList source([] { return 0; });
    resetPeakMemory();
    const double scanMs = millisecondsOf([&] { source.SetFolder(folder); });
    figure("picks: scan of the 100,000-picture folder", scanMs, "ms");
    // Batches of picks, each batch one measurement: the limits are fixed, the batches many.
    std::vector<double> random, sequential;
    const int randomPicks = 70, sequentialPicks = 30000;
    for (int batch = 0; batch < kRounds; ++batch) {
        std::vector<double> picks;
        for (int i = 0; i < randomPicks; ++i)
            picks.push_back(millisecondsOf([&] { source.GetRNDFile(1); }));
        random.push_back(median(picks));
        source.ResetCursors();
        sequential.push_back(millisecondsOf([&] {
                                 for (int i = 0; i < sequentialPicks; ++i)
                                     source.GetRNDFile(0);
                             }) /
                             sequentialPicks);
    }
    figure("picks: random pick in 100,000 pictures, median of a batch", spreadOf(random), "ms");
    figure("picks: sequential pick in 100,000 pictures, amortised", spreadOf(sequential), "ms");
    figure("memory: resident with the 100,000-picture folder current", statusKb("VmRSS:") / 1024.0,
           "MB");
    target("random pick median ms / 5", dividedBy(random, 5.0), 1.0);
    target("sequential pick ms / 0.05", dividedBy(sequential, 0.05), 1.0);
}

// Whole-process start-up to a visible window, from outside, under a private X server.
void benchStartup(const QString &work, const QString &photos)
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    XServer server;
    if (xdotool.isEmpty() || !server.start()) {
        note("start-up: skipped, Xvfb and xdotool are needed");
        return;
    }

    const QString bin = work + QStringLiteral("/app");
    QDir().mkpath(bin);
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/pelmora"),
                bin + QStringLiteral("/pelmora"));
    QFile::setPermissions(bin + QStringLiteral("/pelmora"), QFile::ReadOwner | QFile::ExeOwner);
    writeAll(bin + QStringLiteral("/pelmora.ini"),
             ("[Position]\nLeft=1500\nTop=1500\nWidth=4500\nHeight=4000\n[Display]\nTime=35\n"
              "[Folders]\n00=" +
              photos + "\n")
                 .toUtf8());

    const QProcessEnvironment env = server.environment();
    std::vector<double> times;
    for (int run = 0; run < kRounds; ++run) {
        QProcess app;
        app.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        app.start(bin + QStringLiteral("/pelmora"), {});
        bool seen = false;
        while (!seen && clock.elapsed() < 10000) {
            QProcess probe;
            probe.setProcessEnvironment(env);
            probe.start(xdotool, {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--name"), QStringLiteral("^Pelmora$")});
            probe.waitForFinished();
            seen = probe.exitCode() == 0;
        }
        if (seen)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        app.kill();
        app.waitForFinished();
    }
    if (times.empty()) {
        bench::unmeasured("start-up median ms / 300", "no window seen");
        return;
    }
    figure("start-up to a visible window (whole process)", spreadOf(times), "ms");
    target("start-up median ms / 300", dividedBy(times, 300.0), 1.0);
}

// One set of photos for the real show, and what is asked of the show for it.
struct ShowSet {
    const char *key; // names it on the command line and in files
    const char *label;
    QString folder;
    QSize size;
    int picturesPerStretch;
    int floorPhotosPerPause;
    double cpuLimit;    // process CPU per picture / djpeg's; 0: printed, no target
    double uiLimit;     // user-interface thread per picture / djpeg's
    double peakLimitMb; // peak resident memory; 0: printed, no target
    bool profiled;      // recorded when PELMORA_BENCH_PROFILE names a folder
};

// djpeg on a few of a set's photos at the show's scale, its whole process (reading the file
// included): its processor time and its time on the clock, median per photo. A few more of the
// set at every call, so that across the pauses of a show every photo is decoded.
class DjpegFloor {
public:
    DjpegFloor(const QString &djpeg, const QString &folder, QSize photo, int perPause)
        : m_program(QFile::encodeName(djpeg))
        , m_scale(QByteArray::number(
                      imaging::jpegScaleFor(photo, photo.scaled(kInner, Qt::KeepAspectRatio))) +
                  "/8")
        , m_perPause(perPause)
    {
        for (const QString &name : bench::photosIn(folder))
            m_files.push_back(QFile::encodeName(folder + QLatin1Char('/') + name));
    }

    /// Measures the next photos.
    void measure()
    {
        std::vector<double> cpu, clock;
        for (int i = 0; i < m_perPause && !m_files.empty() && !m_failed; ++i)
            m_failed = !run(m_files[m_next++ % m_files.size()], cpu, clock);
        m_cpuMs.push_back(median(cpu));
        m_clockMs.push_back(median(clock));
    }

    /// Whether djpeg could not be run, or had no photos.
    bool failed() const { return m_failed || m_files.empty(); }
    /// One for every call of measure().
    const std::vector<double> &cpuMs() const { return m_cpuMs; }
    const std::vector<double> &clockMs() const { return m_clockMs; }

private:
    bool run(const QByteArray &file, std::vector<double> &cpu, std::vector<double> &clock) const
    {
        const char *argv[] = {
            m_program.constData(), "-scale", m_scale.constData(), "-outfile", "/dev/null",
            file.constData(),      nullptr};
        QElapsedTimer timer;
        timer.start();
        pid_t pid = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char **>(argv), environ))
            return false;
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) != pid || status != 0)
            return false;
        clock.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                      (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
        return true;
    }

    QByteArray m_program;
    QByteArray m_scale;
    int m_perPause;
    std::vector<QByteArray> m_files;
    size_t m_next = 0;
    std::vector<double> m_cpuMs, m_clockMs;
    bool m_failed = false;
};

// The real program's show settings common to every set.
struct ShowRunning {
    QString program;
    QString work;
    QString djpeg;
    QString profiles; // a folder for perf's records; empty: none
    int cores = 0;    // the show's process on this many processors; 0: all
    int coresUsed = 1;
};

// Per stretch of a run, the figures each target compares with djpeg in the pause after it.
struct StretchFigures {
    std::vector<double> cpu, ui, medianGap, largestGap, gapLimit, busy;
    std::vector<double> cpuRatio, uiRatio, medianGapRatio, largestGapRatio;
    int pictures = 0;
    double largest = 0;
};

StretchFigures stretchFigures(const RealShowRun &run, const DjpegFloor &floor, int cores)
{
    StretchFigures f;
    for (size_t s = 0; s < run.stretches.size(); ++s) {
        const ShowStretch &stretch = run.stretches[s];
        const double cpuFloor = floor.cpuMs()[s], clockFloor = floor.clockMs()[s];
        // Decodes that take longer than the interval set the pace, and the cores share them. Gaps
        // are clock time: they are held against djpeg's clock time, which stretches as the
        // show's does when other work takes the processors.
        const double gapLimit = std::max(kShowIntervalMs + 20.0, 1.1 * clockFloor / cores);
        const double largest = *std::max_element(stretch.gaps.begin(), stretch.gaps.end());
        f.cpu.push_back(stretch.cpuMs / stretch.pictures);
        f.ui.push_back(stretch.uiMs / stretch.pictures);
        f.medianGap.push_back(median(stretch.gaps));
        f.largestGap.push_back(largest);
        f.gapLimit.push_back(gapLimit);
        f.busy.push_back(clockFloor / cpuFloor);
        f.cpuRatio.push_back(f.cpu.back() / cpuFloor);
        f.uiRatio.push_back(f.ui.back() / cpuFloor);
        f.medianGapRatio.push_back(f.medianGap.back() / gapLimit);
        f.largestGapRatio.push_back(largest / (gapLimit + 150));
        f.pictures += stretch.pictures;
        f.largest = std::max(f.largest, largest);
    }
    return f;
}

const char *orderName(int order)
{
    return order == 0 ? "in order" : "at random";
}

void reportShow(const ShowSet &set, int order, const RealShowRun &run, const DjpegFloor &floor,
                int cores)
{
    const StretchFigures f = stretchFigures(run, floor, cores);
    const auto line = [&](const QString &what) {
        return QStringLiteral("show %1 %2: %3")
            .arg(QLatin1String(set.label), QLatin1String(orderName(order)), what)
            .toLocal8Bit();
    };
    figure(line("pictures measured"), f.pictures, "");
    figure(line("floor: djpeg at the show's scale, CPU"), spreadOf(floor.cpuMs()), "ms");
    figure(line("floor: djpeg at the show's scale, clock time"), spreadOf(floor.clockMs()), "ms");
    figure(line("machine busy: djpeg's clock time / its CPU time"), spreadOf(f.busy), "");
    figure(line("process CPU per picture"), spreadOf(f.cpu), "ms");
    figure(line("user-interface thread per picture"), spreadOf(f.ui), "ms");
    figure(line("median gap between pictures"), spreadOf(f.medianGap), "ms");
    figure(line("largest gap between pictures"), spreadOf(f.largestGap), "ms");
    figure(line("largest gap of all"), f.largest, "ms");
    figure(line("gap limit"), spreadOf(f.gapLimit), "ms");
    figure(line("peak resident memory"), run.peakResidentMb, "MB");
    if (set.cpuLimit > 0)
        target(line("process CPU per picture / djpeg"), f.cpuRatio, set.cpuLimit);
    else
        figure(line("process CPU per picture / djpeg (no target)"), spreadOf(f.cpuRatio), "");
    target(line("UI thread per picture / djpeg"), f.uiRatio, set.uiLimit);
    target(line("median gap / gap limit"), f.medianGapRatio, 1.0);
    target(line("largest gap / (gap limit + 150 ms)"), f.largestGapRatio, 1.0);
    if (set.peakLimitMb > 0)
        target(line(QStringLiteral("peak resident MB / %1").arg(set.peakLimitMb)),
               {run.peakResidentMb / set.peakLimitMb}, 1.0);
}

// The real program showing a set in order and at random, as a person would start it: what it
// costs per picture next to the least work those pictures need, how steady it runs and how much
// memory it takes. Each stretch of the show is followed by djpeg on the set's photos while the
// show is stopped: every ratio is one of pairs taken turn about.
void benchRealShow(const ShowSet &set, const ShowRunning &running)
{
    const QString key = QLatin1String(set.key);
    const QString names = running.work + QStringLiteral("/names-") + key;
    // In order too, more names than the show keeps decoded for a step back, so that every tick
    // decodes: a set of five would come round again from the history, decoded once for all.
    const QString inOrder = running.work + QStringLiteral("/order-") + key;
    if (!bench::writeManyNames(set.folder, names, 100, 100) ||
        !bench::writeManyNames(set.folder, inOrder, 1, 24)) {
        bench::unmeasured(QByteArray("show ") + set.label, "no photos");
        return;
    }
    for (int order : {0, 1}) {
        DjpegFloor floor(running.djpeg, set.folder, set.size, set.floorPhotosPerPause);
        RealShowPlan plan;
        plan.program = running.program;
        plan.folder = order == 0 ? inOrder + QStringLiteral("/s0") : names;
        plan.order = order;
        plan.subFolders = order == 1;
        plan.picturesPerStretch = set.picturesPerStretch;
        plan.cores = running.cores;
        plan.inPause = [&floor] { floor.measure(); };
        if (set.profiled && !running.profiles.isEmpty())
            plan.profile = running.profiles +
                           QStringLiteral("/%1-%2.data").arg(key, order == 0 ? "order" : "random");
        RealShowRun run;
        const bool ran = runRealShow(plan, running.work, run);
        if (!ran || floor.failed()) {
            bench::unmeasured(
                QStringLiteral("show %1 %2").arg(set.label, orderName(order)).toLocal8Bit(),
                ran ? "djpeg failed" : "could not be run");
            continue;
        }
        reportShow(set, order, run, floor, running.coresUsed);
    }
}

QString showsProgram()
{
    return qEnvironmentVariableIsSet("PELMORA_BENCH_PROGRAM")
               ? qEnvironmentVariable("PELMORA_BENCH_PROGRAM")
               : QCoreApplication::applicationDirPath() + QStringLiteral("/pelmora");
}

// The sets beyond the 24 MP photos: the same photos in progressive scans, others of 24 megapixels
// in progressive scans in full colour, and photos of 96 megapixels (12000 x 8000) as a high-end
// camera writes them, full colour at quality 95, some 75 MB each, and in progressive scans at
// quality 86 with halved colour, some 25 MB.
bool makeShowSets(const QString &photos)
{
    constexpr QSize k96Mp(12000, 8000);
    const QString progressive24 = photos + QStringLiteral("/progressive-24mp");
    const QString baseline96 = photos + QStringLiteral("/96mp");
    const QString progressive96 = photos + QStringLiteral("/progressive-96mp");
    const QString progressive24Full = photos + QStringLiteral("/progressive-24mp-444");
    for (const QString &folder : {progressive24, baseline96, progressive96, progressive24Full})
        QDir().mkpath(folder);
    bool made = true;
    for (int i = 0; i < 6 && made; ++i) {
        if (!QFile::exists(progressive24 + photoName(i)))
            made = bench::writeProgressiveCopy(photos + photoName(i), progressive24 + photoName(i));
    }
    // The progressive copies above keep the photos' halved colour; a camera's full-colour
    // progressive photo holds twice the coefficients.
    for (int i = 0; i < 6 && made; ++i) {
        if (!QFile::exists(progressive24Full + photoName(i)))
            made = bench::writeMosaic(progressive24Full + photoName(i), kPhoto, {90, true, true},
                                      quint32(i + 201));
    }
    for (int i = 0; i < 5 && made; ++i) {
        if (!QFile::exists(baseline96 + photoName(i))) {
            note("making 96 MP photo %d of 5, full colour...", i + 1);
            made = bench::writeMosaic(baseline96 + photoName(i), k96Mp, {95, true, false},
                                      quint32(i + 1));
        }
        if (made && !QFile::exists(progressive96 + photoName(i))) {
            note("making 96 MP photo %d of 5, progressive...", i + 1);
            made = bench::writeMosaic(progressive96 + photoName(i), k96Mp, {86, false, true},
                                      quint32(i + 101));
        }
    }
    return made;
}

// The parts to run: those named on the command line, or all.
bool wanted(const QStringList &parts, const char *part)
{
    return parts.isEmpty() || parts.contains(QLatin1String(part));
}

// The real program's show settings common to every set; false, noted, when the shows cannot be
// run here.
bool showRunning(const QString &photos, const QString &work, ShowRunning &running)
{
    running.program = showsProgram();
    running.work = work;
    running.djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    running.profiles = qEnvironmentVariable("PELMORA_BENCH_PROFILE");
    running.cores = qEnvironmentVariableIntValue("PELMORA_BENCH_CORES");
    const int cores = QThread::idealThreadCount();
    running.coresUsed = running.cores > 0 ? std::min(running.cores, cores) : cores;
    if (running.djpeg.isEmpty()) {
        bench::unmeasured("real shows", "djpeg, the floor, is missing");
        return false;
    }
    if (!makeShowSets(photos)) {
        bench::unmeasured("real shows", "the photos could not be made (jpegtran is needed)");
        return false;
    }
    return true;
}

void benchRealShows(const QString &photos, const QString &work, const QStringList &parts)
{
    const QSize k96Mp(12000, 8000);
    const ShowSet allSets[] = {
        {"24mp", "24 MP", photos, kPhoto, 8, 3, 1.05, 0.05, 1.1 * kPeak24MpShowMb, false},
        {"progressive-24mp", "progressive 24 MP", photos + QStringLiteral("/progressive-24mp"),
         kPhoto, 6, 2, 0, 0.05, 0, false},
        {"96mp", "96 MP", photos + QStringLiteral("/96mp"), k96Mp, 5, 1, 1.1, 0.05, 400, true},
        {"progressive-96mp", "progressive 96 MP", photos + QStringLiteral("/progressive-96mp"),
         k96Mp, 5, 1, 0.4, 0.05, 700, true},
    };
    std::vector<ShowSet> sets;
    for (const ShowSet &set : allSets) {
        if (wanted(parts, "shows") || parts.contains(QLatin1String(set.key)))
            sets.push_back(set);
    }
    if (sets.empty())
        return;
    ShowRunning running;
    if (!showRunning(photos, work, running))
        return;
    const int cores = QThread::idealThreadCount();
    if (!running.profiles.isEmpty()) {
        QDir().mkpath(running.profiles);
        if (QStandardPaths::findExecutable(QStringLiteral("perf")).isEmpty()) {
            note("no perf: the 96 MP shows are not profiled");
            running.profiles.clear();
        } else {
            note("the 96 MP shows run under perf record -g: their figures are not comparable");
        }
    }
    note("real shows: interval %d ms, window %dx%d, the show's process on %d of %d cores;",
         kShowIntervalMs, kInner.width(), kInner.height(), running.coresUsed, cores);
    note("gap limit = max(interval + 20 ms, 1.1 x djpeg's clock time / %d cores), per stretch",
         running.coresUsed);
    for (const ShowSet &set : sets)
        benchRealShow(set, running);
}

// Small photos, smaller than the show's window: a step onto one costs the key's way through the
// X server and one repaint, what any step costs at the least.
constexpr QSize kSmallPhoto(800, 533);
constexpr double kStepAllowanceMs = 10; // a step onto a large photo may take this much longer
constexpr QSize kResizedInner(1000, 640);

// A folder whose pictures, in order, take turns: a small photo, then a large one of `large`.
bool writeTurns(const QString &large, const QString &folder)
{
    QDir().mkpath(folder);
    const QStringList larges = bench::photosIn(large);
    for (int i = 0; i < std::min<int>(5, int(larges.size())); ++i) {
        const QString from = large + QLatin1Char('/') + larges[i];
        const QString to =
            folder + QStringLiteral("/t%1.jpg").arg(2 * i + 1, 2, 10, QLatin1Char('0'));
        const QString smallTo =
            folder + QStringLiteral("/t%1.jpg").arg(2 * i, 2, 10, QLatin1Char('0'));
        if (!QFile::exists(smallTo))
            bench::writePhoto(smallTo, kSmallPhoto, quint32(i + 301));
        if (!QFile::exists(to) &&
            ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0 &&
            !QFile::copy(from, to))
            return false;
    }
    return !larges.isEmpty();
}

// Whether a title names one of writeTurns' large photos: the odd ones.
bool namesLarge(const QString &title)
{
    const int at = int(title.lastIndexOf(QStringLiteral(".jpg")));
    return at >= 1 && title.at(at - 1).digitValue() % 2 == 1;
}

// Steps in a paused show onto small photos and onto large ones, turn about, and the first step
// after a resize: how long from the key to the picture on screen.
void benchSteps(const char *key, const char *label, const QString &large, QSize largeSize,
                const ShowRunning &running)
{
    const QString folder = running.work + QStringLiteral("/steps-") + QLatin1String(key);
    const auto line = [label](const char *what) {
        return QByteArray("steps, ") + label + ": " + what;
    };
    if (!writeTurns(large, folder)) {
        bench::unmeasured(line("steps"), "no photos");
        return;
    }
    StepPlan plan;
    plan.show.program = running.program;
    plan.show.folder = folder;
    plan.show.cores = running.cores;
    plan.large = namesLarge;
    plan.resized = kResizedInner;
    StepRun run;
    if (!runSteps(plan, running.work, run)) {
        bench::unmeasured(line("steps"), "could not be run, or a step never landed");
        return;
    }
    // One decode at the show's scale, for the sharp picture after a resize.
    DjpegFloor floor(running.djpeg, large, largeSize, 3);
    floor.measure();
    const double smallMs = median(run.smallMs);
    const double decodeMs = floor.failed() ? 0 : floor.clockMs().front();
    figure(line("key to a small photo on screen"), spreadOf(run.smallMs), "ms");
    figure(line("key to a large photo on screen"), spreadOf(run.largeMs), "ms");
    figure(line("first step after a resize, until it shows"), spreadOf(run.resizedFirstMs), "ms");
    figure(line("first step after a resize, until it is sharp"), spreadOf(run.resizedSharpMs),
           "ms");
    figure(line("djpeg at the show's scale, clock time"), decodeMs, "ms");
    std::vector<double> overSmall;
    for (size_t i = 0; i < std::min(run.smallMs.size(), run.largeMs.size()); ++i)
        overSmall.push_back(run.largeMs[i] / (run.smallMs[i] + kStepAllowanceMs));
    target(line("step onto a large photo / (small photo's + 10 ms)"), overSmall, 1.0);
    target(line("after a resize, until it shows / (small photo's + 10 ms)"),
           dividedBy(run.resizedFirstMs, smallMs + kStepAllowanceMs), 1.0);
    if (decodeMs > 0)
        target(line("after a resize, until sharp / (small photo's + 1.1 x djpeg)"),
               dividedBy(run.resizedSharpMs, smallMs + 1.1 * decodeMs), 1.0);
}

// A set shown under the memory limit, and what is asked of it there.
struct LimitedSet {
    const char *label;
    QString folder;
    QSize size;
    bool allShown; // one decode fits: every picture is shown
    bool twoFit;   // two decodes fit: the gaps hold as without a limit
};

constexpr qint64 kLimitBytes = 300LL * 1024 * 1024;
constexpr int kLimitedSeconds = 30;

// The real program in a memory cgroup held to 300 MB, showing each set in order for a while:
// whether the kernel killed it, how many pictures it showed and how steadily.
void benchLimited(const QString &photos, const ShowRunning &running)
{
    const LimitedSet sets[] = {
        {"24 MP", photos, kPhoto, true, true},
        {"progressive 24 MP 4:4:4", photos + QStringLiteral("/progressive-24mp-444"), kPhoto, true,
         false},
        {"96 MP", photos + QStringLiteral("/96mp"), QSize(12000, 8000), true, true},
        {"progressive 96 MP", photos + QStringLiteral("/progressive-96mp"), QSize(12000, 8000),
         false, false},
    };
    for (const LimitedSet &set : sets) {
        const auto line = [&set](const char *what) {
            return QByteArray("limited to 300 MB, ") + set.label + ": " + what;
        };
        RealShowPlan plan;
        plan.program = running.program;
        plan.folder = set.folder;
        plan.cores = running.cores;
        LimitedRun run;
        QString why;
        const LimitedOutcome outcome =
            runLimitedShow(plan, running.work, kLimitBytes, kLimitedSeconds, run, why);
        if (outcome == LimitedOutcome::NoCgroup) {
            note("limited-memory shows: unmeasured, %s", qPrintable(why));
            return;
        }
        if (outcome == LimitedOutcome::Failed) {
            bench::unmeasured(line("show"), "could not be run");
            continue;
        }
        DjpegFloor floor(running.djpeg, set.folder, set.size, 3);
        floor.measure();
        const double gapLimit =
            std::max(kShowIntervalMs + 20.0,
                     1.1 * (floor.failed() ? 0 : floor.clockMs().front()) / running.coresUsed);
        figure(line("pictures shown in 30 s"), run.pictures, "");
        figure(line("pictures the log says were not shown"), run.skipped, "");
        if (!run.firstSkip.isEmpty())
            note("  %s", qPrintable(run.firstSkip));
        figure(line("peak memory of its cgroup"), run.peakMb, "MB");
        if (!run.gaps.empty()) {
            figure(line("median gap between pictures"), median(run.gaps), "ms");
            figure(line("largest gap between pictures"),
                   *std::max_element(run.gaps.begin(), run.gaps.end()), "ms");
        }
        figure(line("gap limit"), gapLimit, "ms");
        target(line("killed (1) or not (0)"), {run.killed ? 1.0 : 0.0}, 0);
        if (set.allShown) {
            target(line("pictures not shown"), {double(run.skipped) + (run.pictures ? 0 : 1)}, 0);
        }
        if (set.twoFit) {
            const double largest =
                run.gaps.empty() ? 1e9 : *std::max_element(run.gaps.begin(), run.gaps.end());
            target(line("median gap / gap limit"),
                   {run.gaps.empty() ? 1e9 : median(run.gaps) / gapLimit}, 1.0);
            target(line("largest gap / (gap limit + 150 ms)"), {largest / (gapLimit + 150)}, 1.0);
        }
    }
}

void benchStepsAndLimits(const QString &photos, const QString &work, const QStringList &parts)
{
    const bool steps = wanted(parts, "steps"), limited = wanted(parts, "limited");
    ShowRunning running;
    if ((!steps && !limited) || !showRunning(photos, work, running))
        return;
    if (steps) {
        note("steps: a paused show in a %dx%d window, keys through XTEST, the window read back "
             "every 2 ms;",
             kInner.width(), kInner.height());
        note("small photos of %dx%d take turns with the large ones", kSmallPhoto.width(),
             kSmallPhoto.height());
        benchSteps("24mp", "24 MP", photos, kPhoto, running);
        benchSteps("96mp", "96 MP", photos + QStringLiteral("/96mp"), QSize(12000, 8000), running);
    }
    if (limited)
        benchLimited(photos, running);
}
} // namespace

int main(int argc, char *argv[])
{
    runOffscreen();
    QApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();
    QTemporaryDir work;
    // The measured windows' settings in a scratch folder, and closing them does not end us.
    const IsolatedViewer isolated = isolateViewer();
    // The parts to run may be named: ticks, scan, picks, startup, shows, one set of the shows,
    // steps, limited, history.
    const QStringList parts = app.arguments().mid(1);
    std::printf("cores: %d\n", QThread::idealThreadCount());

    // PELMORA_BENCH_PHOTOS names a folder to keep the photos in from one run to the next, and
    // PELMORA_BENCH_PROGRAM another pelmora to run in the real shows, say an earlier build.
    QString photos = qEnvironmentVariable("PELMORA_BENCH_PHOTOS");
    if (photos.isEmpty())
        photos = work.path() + QStringLiteral("/photos");
    QDir().mkpath(photos);
    note("making %d photo-like JPEGs of %dx%d...", kPhotos, kPhoto.width(), kPhoto.height());
    for (int i = 0; i < kPhotos; ++i) {
        const QString path = photos + photoName(i);
        if (!QFile::exists(path))
            bench::writePhoto(path, kPhoto, quint32(i + 1));
    }
    ageFolder(photos);

    if (wanted(parts, "ticks")) {
        benchTicks(photos);
        benchProfiled(photos, work.path());
    }
    if (wanted(parts, "history"))
        benchHistory(photos);
    if (wanted(parts, "scan"))
        benchScan(work.path() + QStringLiteral("/tree"));
    if (wanted(parts, "picks"))
        benchPicks(work.path() + QStringLiteral("/huge"));
    if (wanted(parts, "startup"))
        benchStartup(work.path(), photos);
    benchRealShows(photos, work.path(), parts);
    benchStepsAndLimits(photos, work.path(), parts);
    figure("bench run time", double(clock.elapsed()) / 60000.0, "min");
    return bench::summary() ? 0 : 1; // so that make bench fails on a miss
}
