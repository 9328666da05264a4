// A long show over good and bad pictures, with stepping, pausing and stops in between; prints
// how resident memory moved after warming up. Built with PELMORA_SANITIZE, LeakSanitizer
// reports anything left behind when it exits.
#include "BenchSupport.h"
#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "viewer/frmMain.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kTicks = 10000;
constexpr int kWarmUp = 1000;

void makePictures(const QString &folder)
{
    for (int i = 0; i < 12; ++i) {
        const QColor colour = QColor::fromHsv(i * 30, 200, 200);
        writeJpeg(folder + QStringLiteral("/good%1.jpg").arg(i),
                  QSize(320 + 40 * i, 240 + 10 * (i % 5)), colour, colour);
    }
    const QByteArray jpeg = readAll(folder + QStringLiteral("/good0.jpg"));
    writeAll(folder + QStringLiteral("/bad-empty.jpg"), QByteArray());
    writeAll(folder + QStringLiteral("/bad-text.jpg"), "no picture here");
    writeAll(folder + QStringLiteral("/bad-cut.jpg"), jpeg.left(jpeg.size() / 3));
    QByteArray bomb = jpeg;
    const qsizetype sof = bomb.indexOf("\xFF\xC0");
    bomb[sof + 5] = char(0xFD), bomb[sof + 6] = char(0xE8), bomb[sof + 7] = char(0xFD),
               bomb[sof + 8] = char(0xE8); // claims 65000 x 65000
    writeAll(folder + QStringLiteral("/bad-bomb.jpg"), bomb);
}

} // namespace

int main(int argc, char *argv[])
{
    runOffscreen();
    QApplication app(argc, argv);
    QTemporaryDir work;
    // The window's settings in a scratch folder, and closing it does not end us.
    const IsolatedViewer isolated = isolateViewer();
    makePictures(work.path());

    qint64 warm = 0;
    qint64 last = 0;
    {
        frmMain w;
        w.show();
        w.resize(640, 480);
        w.Timer1->setInterval(1000000);
        w.fileList().SetFolder(work.path());
        QImage screen(640, 480, QImage::Format_RGB32);
        w.cmdStart_Click();
        for (int tick = 1; tick <= kTicks; ++tick) {
            w.Timer1_Timer();
            waitForPictures(w, kForever);
            QPainter painter(&screen);
            w.render(&painter);
            painter.end();
            qint16 key = tick % 3 ? 37 : 39; // steps back and forth through the history
            if (tick % 7 == 0) {
                w.Form_KeyDown(key);
                waitForPictures(w, kForever);
            }
            if (tick % 11 == 0) { // pause and resume
                w.Image1_Click();
                w.Image1_Click();
            }
            if (tick % 97 == 0) { // stop, change the order, start again
                w.Image1_MouseUp(Qt::RightButton);
                w.chkRND->setValue(w.chkRND->value() == 0 ? 1 : 0);
                w.cmdStart_Click();
            }
            if (tick % 500 == 0)
                QCoreApplication::processEvents();
            if (tick == kWarmUp)
                warm = statusKb("VmRSS:");
            if (tick == kTicks)
                last = statusKb("VmRSS:");
        }
        w.slideShow().stop();
    }
    QCoreApplication::processEvents();
    const qint64 end = statusKb("VmRSS:");
    const double growthMb = (last - warm) / 1024.0;
    std::printf("soak: %d ticks over good and bad pictures\n", kTicks);
    std::printf("soak: resident after %d ticks %10.1f MB\n", kWarmUp, warm / 1024.0);
    std::printf("soak: resident after %d ticks %10.1f MB\n", kTicks, last / 1024.0);
    std::printf("soak: resident with the window closed %6.1f MB\n", end / 1024.0);
    std::printf("target soak growth after warm-up  %10.2f MB < 5 %s\n", growthMb,
                growthMb < 5.0 ? "OK" : "MISS");
    return growthMb < 5.0 ? 0 : 1;
}
