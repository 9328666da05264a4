// Speed and memory of the show, measured against the least work the same machine needs for the
// same files in the same run. Prints one line per figure and one per target (OK or MISS).
#include "BenchSupport.h"
#include "RealShow.h"
#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "viewer/frmMain.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

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
#include <optional>
#include <vector>

namespace {

constexpr QSize kPhoto(6000, 4000);
constexpr int kPhotos = 20;
constexpr QSize kInner(1280, 800);
constexpr int kProfiledPhotos = 6;

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

double processCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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

void figure(const char *name, double value, const char *unit)
{
    std::printf("%-58s %10.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

int misses = 0;

void target(const char *name, double ratio, double limit)
{
    const bool ok = ratio <= limit;
    misses += ok ? 0 : 1;
    std::printf("target %-51s %10.3f <= %.2f %s\n", name, ratio, limit, ok ? "OK" : "MISS");
    std::fflush(stdout);
}

// Smooth light and shade with sensor noise: decodes like a camera picture.
void writePhoto(const QString &path, quint32 seed)
{
    QImage image(kPhoto, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.generate() & 31) - 16;
            const int r = qBound(0, (x * 255 / kPhoto.width() + int(seed * 37)) % 256 + noise, 255);
            const int g = qBound(0, (y * 255 / kPhoto.height()) + noise, 255);
            const int b = qBound(0, ((x + y) * 127 / kPhoto.width()) + noise, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    image.save(path, "JPEG", 90);
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

// The floor of a real show: libjpeg-turbo's own program decoding each photo at the scale the show
// uses, in processor time (its whole process, reading the file included), median per photo. No
// value when the program is missing.
std::optional<double> djpegFloorMs(const QString &photos, int scaleEighths)
{
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        return std::nullopt;
    const QByteArray program = QFile::encodeName(djpeg);
    const QByteArray scale = QByteArray::number(scaleEighths) + "/8";
    std::vector<double> times;
    for (const QString &name : QDir(photos).entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
        const QByteArray file = QFile::encodeName(photos + QLatin1Char('/') + name);
        const char *argv[] = {
            program.constData(), "-scale", scale.constData(), "-outfile", "/dev/null",
            file.constData(),    nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char **>(argv), environ))
            return std::nullopt;
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, 0, &usage) != pid || status != 0)
            return std::nullopt;
        times.push_back((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    }
    return times.empty() ? std::nullopt : std::optional<double>(median(times));
}

void naiveDecode(const QString &path)
{
    QImageReader reader(path);
    const QImage full = reader.read();
    const QImage shown = full.scaled(kInner, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    Q_UNUSED(shown);
}

void waitEvents(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
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

// Runs ticks of a real show in a window whose inner area is kInner; returns the user-interface
// thread's time per tick (the pick, the load, the fit and one paint into an offscreen image).
std::vector<double> tickTimes(frmMain &w, int ticks, int order, int restMs)
{
    QImage screen(kInner, QImage::Format_RGB32);
    w.chkRND->setValue(order);
    w.cmdStart_Click();
    w.Timer1->setEnabled(false);
    std::vector<double> times;
    for (int i = 0; i < ticks; ++i) {
        waitEvents(restMs); // the interval between pictures, in which the worker decodes ahead
        // A tick whose picture is not decoded yet ends when it is: the wait is the worker's.
        double ui = millisecondsOf([&] { w.Timer1_Timer(); });
        waitForPictures(w, kForever);
        ui += millisecondsOf([&] {
            w.Timer1->setEnabled(false);
            QPainter painter(&screen);
            w.render(&painter);
        });
        times.push_back(ui);
    }
    w.slideShow().stop();
    return times;
}

void benchShow(const QString &photos, double &floorMs, double &sequentialUiMs)
{
    std::vector<double> floors, naives;
    for (int i = 0; i < kPhotos; ++i) {
        const QString path = photos + photoName(i);
        const QByteArray data = readAll(path);
        // Processor time, as the real show is measured: others' work on the machine weighs not.
        floors.push_back(onWorkerCpuMs([&] { floorDecode(data); }));
        if (i < 6) // the naive way is slow; a few files tell its median well enough
            naives.push_back(onWorkerCpuMs([&] { naiveDecode(path); }));
    }
    floorMs = median(floors);
    const double naiveMs = median(naives);
    figure("floor: libjpeg-turbo DCT-scaled decode, CPU, median", floorMs, "ms");
    figure("naive: full decode + smooth scale, CPU, median", naiveMs, "ms");

    frmMain w;
    w.show();
    w.resize(kInner);
    w.Timer1->setInterval(1000000);
    if (!w.fileList().SetFolder(photos)) {
        std::printf("could not scan %s\n", qPrintable(photos));
        return;
    }
    // What the worker does for each sequential tick, timed on its own, on a worker.
    std::vector<double> aheadTimes;
    for (int i = 0; i < 6; ++i) {
        const QString path = photos + photoName(i);
        aheadTimes.push_back(onWorkerCpuMs([&] {
            imaging::loadPicture(path,
                                 [](QSize p) { return p.scaled(kInner, Qt::KeepAspectRatio); });
        }));
    }
    const double aheadMs = median(aheadTimes);
    const double sequentialUi = median(tickTimes(w, kPhotos, 0, 400));
    const double randomUi = median(tickTimes(w, kPhotos, 1, 50));
    const double sequentialWork = sequentialUi + aheadMs;
    sequentialUiMs = sequentialUi;
    figure("tick, sequential: user-interface thread, median", sequentialUi, "ms");
    figure("tick, sequential: decode ahead on the worker, CPU, median", aheadMs, "ms");
    figure("tick, sequential: all work (UI + worker)", sequentialWork, "ms");
    figure("tick, random: user-interface thread, median", randomUi, "ms");
    target("tick sequential (all work) / floor", sequentialWork / floorMs, 1.3);
    target("tick random / floor", randomUi / floorMs, 1.3);
    target("tick sequential (all work) / naive", sequentialWork / naiveMs, 0.6);
    target("tick random / naive", randomUi / naiveMs, 0.6);
    target("tick sequential, UI thread / floor", sequentialUi / floorMs, 0.25);

    resetPeakMemory();
    const qint64 before = statusKb("VmRSS:");
    tickTimes(w, 100, 0, 120);
    const qint64 peak = statusKb("VmHWM:");
    figure("memory: resident before the 100 ticks", before / 1024.0, "MB");
    figure("memory: peak resident during 100 ticks of 24 MP", peak / 1024.0, "MB");
    target("peak resident MB during the 24 MP show / 150", peak / 1024.0 / 150.0, 1.0);
}

// The first photos again with an Adobe RGB profile embedded and their data left as it is: the
// same decode, and then the shown pixels converted to sRGB.
void writeProfiledCopies(const QString &photos, const QString &folder)
{
    QDir().mkpath(folder);
    const QByteArray payload =
        QByteArray("ICC_PROFILE\0\x01\x01", 14) + QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const int length = int(payload.size()) + 2;
    const QByteArray segment =
        "\xFF\xE2" + QByteArray(1, char(length >> 8)) + char(length) + payload;
    for (int i = 0; i < kProfiledPhotos; ++i)
        writeAll(folder + photoName(i), readAll(photos + photoName(i)).insert(2, segment));
}

// The sequential tick for photos with a colour profile next to the same photos without. The
// worker's decodes are measured in processor time and turn about with the untagged files, so
// that what others run on a shared machine weighs on neither side.
void benchProfiled(const QString &photos, const QString &profiled, double untaggedUiMs)
{
    const imaging::DisplaySize display = [](QSize p) {
        return p.scaled(kInner, Qt::KeepAspectRatio);
    };
    std::vector<double> untagged, tagged;
    bool converted = false;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kProfiledPhotos; ++i) {
            imaging::Picture plain, withProfile;
            untagged.push_back(onWorkerCpuMs(
                [&] { plain = imaging::loadPicture(photos + photoName(i), display); }));
            tagged.push_back(onWorkerCpuMs(
                [&] { withProfile = imaging::loadPicture(profiled + photoName(i), display); }));
            converted = converted || plain.image != withProfile.image;
        }
    }
    frmMain w;
    w.show();
    w.resize(kInner);
    w.Timer1->setInterval(1000000);
    if (!converted || !w.fileList().SetFolder(profiled)) {
        std::printf("profiled photos: %s\n",
                    converted ? "could not scan" : "colours not converted");
        ++misses;
        return;
    }
    const double ui = median(tickTimes(w, 2 * kProfiledPhotos, 0, 400));
    const double untaggedWork = untaggedUiMs + median(untagged);
    const double taggedWork = ui + median(tagged);
    figure("tick, Adobe RGB: decode ahead on the worker, CPU, median", median(tagged), "ms");
    figure("tick, untagged: decode ahead of the same photos, CPU, median", median(untagged), "ms");
    figure("tick, Adobe RGB: user-interface thread, median", ui, "ms");
    figure("tick, Adobe RGB: all work (UI + worker)", taggedWork, "ms");
    figure("tick, untagged: all work (UI + worker), same photos", untaggedWork, "ms");
    target("tick Adobe RGB / untagged (all work)", taggedWork / untaggedWork, 1.1);
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
    std::vector<double> floor, scan;
    for (int run = 0; run < 5; ++run) {
        floor.push_back(millisecondsOf(listOnce));
        scan.push_back(millisecondsOf([&] { source.SetFolder(root); }));
    }
    figure("scan floor: one directory read per folder, median", median(floor), "ms");
    figure("scan: SetFolder, 2000 sub-folders x 50 pictures, median", median(scan), "ms");
    target("scan / listing floor", median(scan) / median(floor), 2.0);
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
    std::vector<double> random;
    for (int i = 0; i < 500; ++i)
        random.push_back(millisecondsOf([&] { source.GetRNDFile(1); }));
    source.ResetCursors();
    const int sequentialPicks = 200000;
    const double sequentialMs = millisecondsOf([&] {
        for (int i = 0; i < sequentialPicks; ++i)
            source.GetRNDFile(0);
    });
    figure("picks: random pick in 100,000 pictures, median", median(random), "ms");
    figure("picks: sequential pick in 100,000 pictures, amortised", sequentialMs / sequentialPicks,
           "ms");
    figure("memory: resident with the 100,000-picture folder current", statusKb("VmRSS:") / 1024.0,
           "MB");
    target("random pick median ms / 5", median(random) / 5.0, 1.0);
    target("sequential pick ms / 0.05", sequentialMs / sequentialPicks / 0.05, 1.0);
}

// Whole-process start-up to a visible window, from outside, under a private X server.
void benchStartup(const QString &work, const QString &photos)
{
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    XServer server;
    if (xdotool.isEmpty() || !server.start()) {
        std::printf("start-up: skipped, Xvfb and xdotool are needed\n");
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
    for (int run = 0; run < 7; ++run) {
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
        std::printf("start-up: no window seen\n");
        ++misses;
        return;
    }
    figure("start-up to a visible window (whole process), median", median(times), "ms");
    target("start-up median ms / 300", median(times) / 300.0, 1.0);
}

// The real program showing the photos as a person would start it, in order and at random: what
// it costs per picture, next to the least work those pictures need, and how steady it runs.
void benchRealShows(const QString &photos, const QString &work, double floorMs)
{
    const QString program =
        qEnvironmentVariableIsSet("PELMORA_BENCH_PROGRAM")
            ? qEnvironmentVariable("PELMORA_BENCH_PROGRAM")
            : QCoreApplication::applicationDirPath() + QStringLiteral("/pelmora");
    const double interval = 500.0; // ms: the shortest there is, where a late tick shows most
    // Twenty names for each photo: at random, the same name twice in a row is rare. Hard links
    // where they can be, so listing the folder costs no more than listing the photos' own.
    const QString names = work + QStringLiteral("/names");
    QDir().mkpath(names);
    for (const QString &photo : QDir(photos).entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
        const QByteArray from = QFile::encodeName(photos + QLatin1Char('/') + photo);
        for (int copy = 0; copy < 20; ++copy) {
            const QString name = names + QStringLiteral("/%1-%2").arg(copy).arg(photo);
            if (::link(from.constData(), QFile::encodeName(name).constData()) != 0)
                QFile::link(QString::fromLocal8Bit(from), name);
        }
    }
    for (int order : {0, 1}) {
        RealShowFigures f;
        const char *name = order == 0 ? "in order" : "at random";
        if (!runRealShow(program, order == 0 ? photos : names, work, order, 30, f)) {
            std::printf("real show %s: could not be run\n", name);
            ++misses;
            continue;
        }
        const auto line = [name](const char *what) {
            return QStringLiteral("real show %1: %2").arg(QLatin1String(name), QLatin1String(what));
        };
        figure(qPrintable(line("pictures measured")), f.pictures, "");
        if (order == 1) // more than one would hide stalls of two intervals
            target(qPrintable(line("gaps taken for a picture drawn twice / 1")), f.repeats, 1.0);
        figure(qPrintable(line("process CPU per picture")), f.cpuPerPictureMs, "ms");
        figure(qPrintable(line("user-interface thread per picture")), f.uiPerPictureMs, "ms");
        figure(qPrintable(line("median gap between pictures")), f.medianGapMs, "ms");
        figure(qPrintable(line("largest gap between pictures")), f.largestGapMs, "ms");
        // The floor right after the show, so that both meet the machine in the same state.
        const std::optional<double> djpeg = djpegFloorMs(
            photos, imaging::jpegScaleFor(kPhoto, kPhoto.scaled(kInner, Qt::KeepAspectRatio)));
        if (djpeg)
            figure(qPrintable(line("floor: djpeg at the show's scale, CPU, median")), *djpeg, "ms");
        else
            std::printf("real show %s: no djpeg; the floor is the in-process decode\n", name);
        const double floor = djpeg.value_or(floorMs);
        target(qPrintable(line("CPU per picture / floor")), f.cpuPerPictureMs / floor, 1.1);
        target(qPrintable(line("UI thread per picture / floor")), f.uiPerPictureMs / floor, 0.25);
        target(qPrintable(line("median gap / (interval + 20 ms)")), f.medianGapMs / (interval + 20),
               1.0);
        target(qPrintable(line("largest gap / (interval + 150 ms)")),
               f.largestGapMs / (interval + 150), 1.0);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    runOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir work;
    // The measured windows' settings in a scratch folder, and closing them does not end us.
    const IsolatedViewer isolated = isolateViewer();
    std::printf("cores: %d\n", QThread::idealThreadCount());

    // PELMORA_BENCH_PHOTOS names a folder to keep the photos in from one run to the next, and
    // PELMORA_BENCH_PROGRAM another pelmora to run in the real shows, say an earlier build.
    QString photos = qEnvironmentVariable("PELMORA_BENCH_PHOTOS");
    if (photos.isEmpty())
        photos = work.path() + QStringLiteral("/photos");
    QDir().mkpath(photos);
    std::printf("making %d photo-like JPEGs of %dx%d...\n", kPhotos, kPhoto.width(),
                kPhoto.height());
    std::fflush(stdout);
    for (int i = 0; i < kPhotos; ++i) {
        const QString path = photos + photoName(i);
        if (!QFile::exists(path))
            writePhoto(path, quint32(i + 1));
    }
    ageFolder(photos);

    double floorMs = 0, sequentialUiMs = 0;
    benchShow(photos, floorMs, sequentialUiMs);
    writeProfiledCopies(photos, work.path() + QStringLiteral("/adobe"));
    benchProfiled(photos, work.path() + QStringLiteral("/adobe"), sequentialUiMs);
    benchScan(work.path() + QStringLiteral("/tree"));
    benchPicks(work.path() + QStringLiteral("/huge"));
    benchStartup(work.path(), photos);
    benchRealShows(photos, work.path(), floorMs);
    std::printf("%s\n", misses == 0 ? "all targets OK" : "some targets MISSED");
    return misses == 0 ? 0 : 1; // so that make bench fails on a miss
}
