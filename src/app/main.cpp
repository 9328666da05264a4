#include "controls/MonitorColours.h"
#include "controls/ScreenKeeper.h"
#include "system/Process.h"
#include "system/TerminationSignals.h"
#include "viewer/frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSessionManager>
#include <QTranslator>

int main(int argc, char *argv[])
{
    sys::letOversizedWritesFail();
    sys::returnLargeBlocksToSystem();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    // The name the desktop entry and the AppStream file are installed under.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pelmora.Pelmora"));

    // The toolkit's own texts (the folder dialog's title and buttons above all) speak the
    // user's language; without a translation for it they stay in English.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    // Through the desktop and the X server while a show is on screen; gone before the toolkit.
    sys::setScreenSaverInhibitor(controls::screenKeeper());
    // Pictures in the colours each monitor shows, as its profile tells them.
    sys::setMonitorProfiles(controls::monitorColours());

    frmMain window;
    // A logout, a shutdown or Ctrl+C closes the window as its user would, so nothing set is
    // lost; the session's own request to save, which may come first, saves without closing.
    sys::TerminationSignals termination;
    QObject::connect(&termination, &sys::TerminationSignals::received, &window, &QWidget::close);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager &) { window.saveSettings(); });
    window.show();
    const int code = app.exec();
    sys::setMonitorProfiles(nullptr);
    sys::setScreenSaverInhibitor(nullptr);
    return code;
}
