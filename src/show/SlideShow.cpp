#include "show/SlideShow.h"

#include "show/Logging.h"
#include "show/ShowCaption.h"
#include "system/FileStamp.h"
#include "system/PathCodec.h"
#include "system/Paths.h"

#include <algorithm>
#include <utility>

namespace show {

namespace {

// A tick gives up a picture that takes longer than this to decode, so no file holds up a show.
constexpr int kGiveUpMs = 10000;
constexpr int kGiveUpIntervals = 20;
// Dragging the frame resizes many times: what the new size needs is decoded once it settles.
constexpr int kResizeSettledMs = 150;

} // namespace

SlideShow::SlideShow(View &view, Source source, std::unique_ptr<Decodes> decodes, Clock &clock,
                     QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_source(std::move(source))
    , m_decodes(std::move(decodes))
    , m_tickTimer(clock.makeTimer())
    , m_giveUp(clock.makeTimer())
    , m_resizeSettled(clock.makeTimer())
{
    connect(m_giveUp.get(), &Timer::timer, this, [this] {
        m_giveUp->setEnabled(false);
        giveUpTick();
    });
    m_resizeSettled->setInterval(kResizeSettledMs);
    connect(m_resizeSettled.get(), &Timer::timer, this, [this] {
        m_resizeSettled->setEnabled(false);
        settled();
    });
}

SlideShow::~SlideShow() = default;

void SlideShow::setInterval(int milliseconds)
{
    m_tickTimer->setInterval(milliseconds);
}

void SlideShow::start()
{
    if (m_state != State::Panel)
        return;
    m_source().ResetCursors();
    m_state = State::Running;
    m_view.showShow();
    m_onScreen = imaging::Picture();
    setScreen(QString(), false);
    m_ahead.clear();
    // The pick Start draws is shown only if the window is resized before the first tick, and
    // only then decoded.
    frmFileList::Cursor at = m_source().cursor();
    m_startPick = drawPick(at);
    m_source().moveTo(at);
    m_tickTimer->setEnabled(true);
    decodeAhead();
}

void SlideShow::tick()
{
    if (m_state != State::Running)
        return;
    // Off while working: the interval counts from the end of this tick, and ticks never pile up.
    m_tickTimer->setEnabled(false);
    dropStartPick();
    m_tickPick = nextPick();
    m_state = State::Waiting;
    if (m_view.isMinimised()) {
        // Nobody sees it: the caption and the history go on, and the picture is decoded once
        // the window is back.
        completeTick(m_decodes->nearest(m_tickPick->pick, m_view.display()));
        return;
    }
    // The window answers while the pick decodes; the tick ends when it is there, or given up.
    m_giveUp->setInterval(std::max(kGiveUpMs, kGiveUpIntervals * m_tickTimer->interval()));
    m_giveUp->setEnabled(true);
    m_decodes->fetch(Waiter::Tick, m_tickPick->pick, m_view.display(),
                     [this](const imaging::Picture &picture) { completeTick(picture); });
}

void SlideShow::completeTick(const imaging::Picture &picture)
{
    m_giveUp->setEnabled(false);
    m_decodes->drop(Waiter::Screen); // a step asked for before this tick is older than it
    const Drawn shown = *std::exchange(m_tickPick, std::nullopt);
    m_source().moveTo(shown.after);
    m_historyPos = m_history.add(shown.pick);
    m_view.showCaption(showCaption(m_view.order(), shown.pick));
    setScreen(shown.pick, !m_view.isMinimised() || !picture.isNull());
    show(picture);
    m_state = State::Running;
    m_tickTimer->setEnabled(true);
    decodeAhead();
    refreshScreen(); // the window may have grown while the picture decoded
}

void SlideShow::giveUpTick()
{
    if (m_state != State::Waiting)
        return;
    qCInfo(logging::show).noquote() << "given up after" << m_giveUp->interval() / 1000
                                    << "s:" << sys::displayText(m_tickPick->pick);
    // Its decode stops, though the file may come again ahead: then it is decoded anew.
    m_decodes->drop(Waiter::Tick);
    planDecodes(m_tickPick->pick);
    completeTick(imaging::Picture());
}

void SlideShow::togglePause()
{
    switch (m_state) {
    case State::Panel:
        return;
    case State::Running:
        // The picks ahead stay drawn and go on decoding: the resumed show needs them.
        m_tickTimer->setEnabled(false);
        m_state = State::Paused;
        return;
    case State::Waiting:
        // Nothing new appears while paused: the waiting tick ends unshown, and its pick is the
        // next tick's, still decoding meanwhile, neither skipped nor shown twice.
        m_giveUp->setEnabled(false);
        m_ahead.push_front(*std::exchange(m_tickPick, std::nullopt));
        m_decodes->drop(Waiter::Tick);
        m_state = State::Paused;
        planDecodes();
        return;
    case State::Paused:
        m_state = State::Running;
        m_tickTimer->setEnabled(true); // a full interval from now
        decodeAhead();
        return;
    }
}

bool SlideShow::step(int direction)
{
    if (m_state == State::Panel || m_history.count() == 0)
        return false;
    m_historyPos = direction < 0 ? m_history.previous(m_historyPos) : m_history.next(m_historyPos);
    dropStartPick(); // the user chose what is on screen
    // A file gone or spoilt since it was shown loads as the empty picture: the step shows
    // nothing and the show goes on.
    setScreen(m_history.item(m_historyPos), false);
    refreshScreen();
    return true;
}

void SlideShow::stop()
{
    m_view.showPanel();
    stopTimers();
    m_state = State::Panel;
    m_onScreen = imaging::Picture();
    setScreen(QString(), false);
    // Nothing the show was decoding or had drawn ahead is wanted any more; the picture source
    // stands where the last picture shown left it.
    m_decodes->drop(Waiter::Screen);
    m_decodes->drop(Waiter::Tick);
    m_tickPick.reset();
    m_startPick.reset();
    m_ahead.clear();
    m_decodes->plan({}, m_view.display());
}

void SlideShow::resize()
{
    if (m_state == State::Panel)
        return;
    if (m_startPick && m_screenPath != *m_startPick) {
        setScreen(*m_startPick, false);
        refreshScreen();
    }
    m_resizeSettled->setEnabled(false);
    m_resizeSettled->setEnabled(true);
}

void SlideShow::settled()
{
    if (m_state == State::Panel)
        return;
    if (m_state == State::Running) // a waiting tick decodes ahead when it ends
        decodeAhead();
    else
        planDecodes();
    refreshScreen();
}

void SlideShow::close()
{
    stopTimers();
    // Closing never waits for a decode.
    m_decodes->drop(Waiter::Screen);
    m_decodes->drop(Waiter::Tick);
    m_decodes->plan({}, m_view.display());
    m_state = State::Panel;
    m_history.clear();
}

bool SlideShow::isLoading() const
{
    return m_state == State::Waiting || m_decodes->waitingFor(Waiter::Screen);
}

QString SlideShow::drawPick(frmFileList::Cursor &at)
{
    const auto pickOnce = [this, &at] {
        return m_source().pickAfter(at, m_view.order() == Order::Random ? 1 : 0);
    };
    // A pick ending in the separator fell one past a folder's last file: ask again.
    QString pick = pickOnce();
    while (pick.endsWith(sys::pathSeparator()))
        pick = pickOnce();
    return pick;
}

SlideShow::Drawn SlideShow::drawFrom(frmFileList::Cursor at)
{
    const frmFileList::Cursor from = at;
    Drawn drawn{drawPick(at), at, m_view.order()};
    // A random pick lists its folder; one in order when it moves on into a folder.
    drawn.listed = drawn.order == Order::Random || at.folderIndex != from.folderIndex ||
                   at.fileIndex <= from.fileIndex;
    return drawn;
}

SlideShow::Drawn SlideShow::nextPick()
{
    // The order is read afresh for every pick: picks drawn ahead in the other are forgotten.
    if (!m_ahead.empty() && m_ahead.front().order != m_view.order())
        m_ahead.clear();
    frmFileList::Cursor at = m_source().cursor();
    if (!m_ahead.empty()) {
        const Drawn next = m_ahead.front();
        if (isGone(next.pick)) {
            // Deleted since it was drawn: drawn afresh, from the folder as it is now, and so
            // are the picks after it.
            if (m_view.order() == Order::Sequential)
                at = m_source().relisted(at);
        } else if (!next.listed || m_source().listsAsBefore(next.after)) {
            m_ahead.pop_front();
            return next;
        }
        // Otherwise a folder it listed has changed since: drawn again, the folder listed as
        // it is now, as this tick would have listed it.
    }
    m_ahead.clear();
    return drawFrom(at);
}

frmFileList::Cursor SlideShow::aheadFrom() const
{
    if (!m_ahead.empty())
        return m_ahead.back().after;
    return m_tickPick ? m_tickPick->after : m_source().cursor();
}

bool SlideShow::isGone(const QString &pick)
{
    return !pick.isEmpty() && !sys::fileStamp(pick).exists();
}

int SlideShow::aheadDepth() const
{
    // A picture has to start decoding as many intervals before its tick as its decode takes,
    // so that many decode at once; more than one a core would only share the cores.
    const int interval = std::max(1, m_tickTimer->interval());
    const int intervals = (m_decodes->decodeMs() + interval - 1) / interval;
    return std::clamp(intervals, 1, std::max(1, m_decodes->cores()));
}

void SlideShow::decodeAhead()
{
    // The next picks are drawn now, ticks early, exactly as their ticks would draw them, so
    // their pictures decode while this one is on screen.
    if (!m_ahead.empty() && m_ahead.front().order != m_view.order())
        m_ahead.clear();
    while (int(m_ahead.size()) < aheadDepth())
        m_ahead.push_back(drawFrom(aheadFrom()));
    planDecodes();
}

void SlideShow::planDecodes(const QString &except)
{
    Decodes::Plan plan;
    if (!m_view.isMinimised()) { // nobody would see them
        for (const Drawn &drawn : m_ahead)
            plan.ahead << drawn.pick;
    }
    plan.ahead.removeAll(except);
    plan.kept << m_screenPath;
    for (int i = m_history.count(); i >= 1; --i)
        plan.kept << m_history.item(i);
    m_decodes->plan(plan, m_view.display());
}

void SlideShow::setScreen(const QString &path, bool shown)
{
    m_screenPath = path;
    m_screenShown = shown;
}

void SlideShow::refreshScreen()
{
    const DisplayKey display = m_view.display();
    if (m_state == State::Panel || m_view.isMinimised() || display.innerWidth <= 0 ||
        display.innerHeight <= 0)
        return;
    if (!m_screenShown) {
        // What was decoded of it before is shown at once, scaled if need be, until a decode for
        // this window comes.
        const imaging::Picture kept = m_decodes->nearest(m_screenPath, display);
        if (!kept.isNull())
            show(kept);
        m_screenShown = !kept.isNull();
    }
    // A picture decoded for another size is decoded again for this one, not left blown up and
    // blurred, nor scaled down on the window's thread at every paint; one in another monitor's
    // colours is decoded again in this one's. A picture that did not load is not tried again
    // until a tick or a step asks for it.
    const QSize wanted = displaySizeFor(display)(m_onScreen.size);
    const bool coloured =
        m_onScreen.isNull() || imaging::sameProfile(m_onScreen.profile, display.profile);
    const bool sharp =
        m_screenShown && coloured && (!m_onScreen.isReduced() || m_onScreen.image.size() == wanted);
    if (sharp) {
        m_decodes->drop(Waiter::Screen);
        return;
    }
    // A sharper copy only of the very file on screen: one changed or gone since stays as it was
    // shown until a step or a tick reads it again.
    const std::optional<sys::FileStamp> sharpening =
        m_screenShown ? std::optional(m_onScreen.stamp) : std::nullopt;
    m_decodes->fetch(Waiter::Screen, m_screenPath, display,
                     [this, sharpening](const imaging::Picture &picture) {
                         if (sharpening && !(picture.stamp == *sharpening))
                             return;
                         m_screenShown = true;
                         show(picture);
                     });
}

void SlideShow::stopTimers()
{
    m_tickTimer->setEnabled(false);
    m_giveUp->setEnabled(false);
    m_resizeSettled->setEnabled(false);
}

void SlideShow::dropStartPick()
{
    m_startPick.reset();
}

void SlideShow::show(const imaging::Picture &picture)
{
    m_onScreen = picture;
    m_view.showPicture(picture);
}

} // namespace show
