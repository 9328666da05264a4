#pragma once

#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "show/Decodes.h"
#include "show/ShowCaption.h"
#include "show/ShowHistory.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace show {

/// What the show asks of the window it runs in, and what it tells it to show.
class View {
public:
    virtual ~View() = default;
    /// The order option, read afresh for every pick.
    virtual Order order() const = 0;
    /// The window's inner area now, and the screen's scale.
    virtual DisplayKey display() const = 0;
    virtual bool isMinimised() const = 0;

    /// Back to the control panel, with no picture and the idle caption.
    virtual void showPanel() = 0;
    /// The panel gone and nothing on screen yet.
    virtual void showShow() = 0;
    /// A picture, fitted to the window; the null picture leaves the window black.
    virtual void showPicture(const imaging::Picture &picture) = 0;
    virtual void showCaption(const QString &caption) = 0;
};

/// A slide show: the control panel until it starts; then a picture every interval, drawn from
/// the picture source, decoded away from the window's thread and kept in a short history the
/// user can step through; paused and resumed; stopped back to the panel.
///
/// The interval counts from the end of a tick's work: the tick timer is off from the tick
/// until its picture is on screen. While the picture on screen stays, the next picks are drawn
/// and decoded ahead, as many at once as a decode takes intervals and there are cores, so a tick
/// rarely waits. Picks drawn ahead leave the picture source alone: it moves only when a tick
/// shows its pick, to where that pick leaves it, as if each tick had drawn its own.
class SlideShow : public QObject {
    Q_OBJECT
public:
    enum class State {
        Panel,   ///< no show: the control panel
        Running, ///< a picture on screen (or none yet), the next tick due
        Waiting, ///< a tick waits for its picture; the picture before it stays on screen
        Paused,  ///< a picture on screen and nothing due until the user resumes
    };

    using Source = std::function<frmFileList &()>;

    SlideShow(View &view, Source source, std::unique_ptr<Decodes> decodes,
              Clock &clock = systemClock(), QObject *parent = nullptr);
    ~SlideShow() override;

    void setInterval(int milliseconds);

    void start();
    void tick();
    void togglePause();
    /// One step back (-1) or forward (+1) through the history; false when there is nothing to
    /// step through (no show, or an empty history).
    bool step(int direction);
    void stop();
    /// The window changed size, or the monitor it is on or that monitor's profile changed: a
    /// Start pick not decoded yet is shown, and once the change has settled, what the display
    /// needs now is decoded.
    void resize();
    /// The window closes: nothing is decoded or timed any more.
    void close();

    State state() const { return m_state; }
    const ShowHistory &history() const { return m_history; }
    /// 1-based position in the history of the picture on screen; 0 before the first tick.
    qint16 historyPosition() const { return m_historyPos; }
    /// Whether a tick, a step or a resize waits for its picture.
    bool isLoading() const;
    /// The tick timer: on while the show runs and no tick waits.
    Timer &tickTimer() { return *m_tickTimer; }

private:
    // A pick with where it leaves the picture source, and the order it was drawn in.
    struct Drawn {
        QString pick;
        frmFileList::Cursor after;
        Order order;
        bool listed = false; ///< its draw listed a folder, as it stood then
    };

    void completeTick(const imaging::Picture &picture);
    void giveUpTick();
    void settled();
    QString drawPick(frmFileList::Cursor &at);
    Drawn drawFrom(frmFileList::Cursor at);
    Drawn nextPick();
    frmFileList::Cursor aheadFrom() const;
    int aheadDepth() const;
    void decodeAhead();
    void planDecodes(const QString &except = QString());
    void setScreen(const QString &path, bool shown);
    void refreshScreen();
    static bool isGone(const QString &pick);
    void stopTimers();
    void dropStartPick();
    void show(const imaging::Picture &picture);

    View &m_view;
    Source m_source;
    std::unique_ptr<Decodes> m_decodes;
    std::unique_ptr<Timer> m_tickTimer;
    std::unique_ptr<Timer> m_giveUp;        // ends a tick whose picture takes too long
    std::unique_ptr<Timer> m_resizeSettled; // dragging the frame resizes many times

    State m_state = State::Panel;
    std::optional<Drawn> m_tickPick;    // the pick of the tick that waits
    std::deque<Drawn> m_ahead;          // drawn before their ticks, the next first
    std::optional<QString> m_startPick; // drawn by Start, decoded only if a resize shows it
    QString m_screenPath;               // what the screen shows, or is about to
    bool m_screenShown = false;         // whether its picture came, loaded or not
    imaging::Picture m_onScreen;
    ShowHistory m_history;
    qint16 m_historyPos = 0;
};

} // namespace show
