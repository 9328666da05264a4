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
    // The pick Start draws is shown only if the window is resized before the first tick, and
    // only then decoded.
    m_startPick = nextPick(false);
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
    m_tickPick = nextPick(true);
    m_state = State::Waiting;
    // The window answers while the pick decodes; the tick ends when it is there, or given up.
    m_giveUp->setInterval(std::max(kGiveUpMs, kGiveUpIntervals * m_tickTimer->interval()));
    m_giveUp->setEnabled(true);
    load(DecodeFor::Tick, *m_tickPick,
         [this](const imaging::Picture &picture) { completeTick(picture); });
}

void SlideShow::completeTick(const imaging::Picture &picture)
{
    m_giveUp->setEnabled(false);
    m_decodes->drop(DecodeFor::Step); // a step asked for before this tick is older than it
    const QString pick = *std::exchange(m_tickPick, std::nullopt);
    // Shown now; only the picks drawn after it are still unshown.
    m_beforeUnshown.reset();
    if (!m_drawnAhead.empty())
        m_beforeUnshown = m_drawnAhead.front().before;
    m_historyPos = m_history.add(pick);
    m_view.showCaption(showCaption(m_view.order() == Order::Random ? 1 : 0, pick));
    show(picture);
    m_state = State::Running;
    m_tickTimer->setEnabled(true);
    decodeAhead();
    sharpenIfBlurred(); // the window may have grown while the picture decoded
}

void SlideShow::giveUpTick()
{
    if (m_state != State::Waiting)
        return;
    qCInfo(logging::show).noquote()
        << "given up after" << m_giveUp->interval() / 1000 << "s:" << sys::displayText(*m_tickPick);
    // Its decode stops, though it was started ahead of the tick and the file may come again;
    // those of the picks after it go on.
    wantAhead(*m_tickPick);
    m_decodes->drop(DecodeFor::Tick);
    completeTick(imaging::Picture());
}

void SlideShow::togglePause()
{
    switch (m_state) {
    case State::Panel:
        return;
    case State::Running:
        m_tickTimer->setEnabled(false);
        dropDrawnAhead();
        m_state = State::Paused;
        return;
    case State::Waiting:
        pauseWaitingTick();
        return;
    case State::Paused:
        dropHeldPickIfGone();
        m_state = State::Running;
        m_tickTimer->setEnabled(true); // a full interval from now
        decodeAhead();
        return;
    }
}

void SlideShow::pauseWaitingTick()
{
    // Nothing new appears while paused: the waiting tick ends unshown, and its pick is the one
    // the next tick shows, still decoding meanwhile, neither skipped nor shown twice.
    m_giveUp->setEnabled(false);
    m_heldPick = std::exchange(m_tickPick, std::nullopt);
    dropDrawnAhead(); // all but the held pick
    m_decodes->drop(DecodeFor::Tick);
    m_state = State::Paused;
}

bool SlideShow::step(int direction)
{
    if (m_state == State::Panel || m_history.count() == 0)
        return false;
    m_historyPos = direction < 0 ? m_history.previous(m_historyPos) : m_history.next(m_historyPos);
    dropStartPick(); // the user chose what is on screen
    // A file gone or spoilt since it was shown loads as the empty picture: the step shows
    // nothing and the show goes on.
    load(DecodeFor::Step, m_history.item(m_historyPos),
         [this](const imaging::Picture &picture) { show(picture); });
    return true;
}

void SlideShow::stop()
{
    m_view.showPanel();
    stopTimers();
    m_state = State::Panel;
    m_onScreen = imaging::Picture();
    // Nothing the show was decoding or had drawn ahead is wanted any more.
    m_decodes->dropAll();
    m_tickPick.reset();
    m_heldPick.reset();
    m_startPick.reset();
    m_drawnAhead.clear();
    // The next show starts from the folder of the last picture the user saw.
    forgetUnshownPicks();
}

void SlideShow::resize()
{
    if (m_state == State::Panel)
        return;
    if (m_startPick && !m_decodes->waitingFor(DecodeFor::StartPick))
        load(DecodeFor::StartPick, *m_startPick,
             [this](const imaging::Picture &picture) { show(picture); });
    m_resizeSettled->setEnabled(false);
    m_resizeSettled->setEnabled(true);
}

void SlideShow::settled()
{
    const DisplayKey display = m_view.display();
    if (m_state == State::Panel || m_view.isMinimised() || display.innerWidth <= 0 ||
        display.innerHeight <= 0)
        return;
    if (m_state == State::Running) // a waiting tick decodes ahead when it ends
        decodeAhead();
    sharpenIfBlurred();
}

void SlideShow::close()
{
    stopTimers();
    m_decodes->dropAll(); // closing never waits for a decode
    m_state = State::Panel;
    m_history.clear();
}

bool SlideShow::isLoading() const
{
    return m_state == State::Waiting || m_decodes->waitingFor(DecodeFor::Step) ||
           m_decodes->waitingFor(DecodeFor::StartPick);
}

QString SlideShow::drawPick()
{
    const auto pickOnce = [this] {
        return m_source().GetRNDFile(m_view.order() == Order::Random ? 1 : 0);
    };
    // A pick ending in the separator fell one past a folder's last file: ask again.
    QString pick = pickOnce();
    while (pick.endsWith(sys::pathSeparator()))
        pick = pickOnce();
    return pick;
}

QString SlideShow::nextPick(bool forTick)
{
    if (forTick && m_heldPick)
        return *std::exchange(m_heldPick, std::nullopt);
    // The order is read afresh for every pick: picks drawn ahead in the other go back.
    if (!m_drawnAhead.empty() && m_drawnAhead.front().order != m_view.order())
        dropDrawnAhead();
    // Deleted since it was drawn: drawn afresh, as its tick would have drawn it. The decodes of
    // the picks after it go on until the tick has its picture.
    if (forTick && !m_drawnAhead.empty() && isGone(m_drawnAhead.front().pick)) {
        m_source().returnTo(m_drawnAhead.front().before);
        m_drawnAhead.clear();
    }
    if (!m_drawnAhead.empty()) {
        const QString pick = m_drawnAhead.front().pick;
        m_drawnAhead.pop_front();
        return pick;
    }
    if (forTick && !m_beforeUnshown)
        m_beforeUnshown = m_source().place();
    return drawPick();
}

void SlideShow::load(DecodeFor purpose, const QString &pick, Decodes::Ready ready)
{
    if (pick.isEmpty())
        ready(imaging::Picture()); // the empty pick is the empty picture
    else
        m_decodes->want(purpose, pick, m_view.display(), std::move(ready));
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
    // their pictures decode while this one is on screen. A held pick is the next.
    const int held = m_heldPick ? 1 : 0;
    while (held + int(m_drawnAhead.size()) < aheadDepth()) {
        const frmFileList::Place before = m_source().place();
        if (!m_beforeUnshown)
            m_beforeUnshown = before;
        m_drawnAhead.push_back({drawPick(), before, m_view.order()});
    }
    wantAhead();
}

void SlideShow::wantAhead(const QString &except)
{
    QStringList next;
    if (m_heldPick)
        next << *m_heldPick;
    for (const Drawn &drawn : m_drawnAhead)
        next << drawn.pick;
    next.removeAll(QString()); // the empty pick is the empty picture: nothing to decode
    next.removeAll(except);
    m_decodes->wantAhead(next, m_view.display());
}

void SlideShow::dropDrawnAhead()
{
    // A paused show may stay paused for long, and the folder may change meanwhile: the show
    // that resumes draws afresh from where the source stood. A held pick is kept, and so is
    // its decode: it is what the next tick shows.
    if (!m_drawnAhead.empty()) {
        m_source().returnTo(m_drawnAhead.front().before);
        m_drawnAhead.clear();
        if (!m_heldPick)
            m_beforeUnshown.reset();
    }
    wantAhead();
}

void SlideShow::dropHeldPickIfGone()
{
    // Deleted while the show was paused: skipped, as if never drawn, rather than shown as a
    // black frame that names no file.
    if (!m_heldPick || !isGone(*m_heldPick))
        return;
    m_heldPick.reset();
    m_decodes->drop(DecodeFor::Ahead);
    forgetUnshownPicks();
}

void SlideShow::forgetUnshownPicks()
{
    // A pick the show drew but never showed leaves no trace in the picture source.
    if (m_beforeUnshown)
        m_source().returnTo(*std::exchange(m_beforeUnshown, std::nullopt));
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
    m_decodes->drop(DecodeFor::StartPick);
}

void SlideShow::sharpenIfBlurred()
{
    // A picture decoded for a smaller window is decoded again, not left blown up and blurred.
    const QSize wanted = displaySizeFor(m_view.display())(m_onScreen.size);
    if (m_onScreen.isReduced() &&
        (wanted.width() > m_onScreen.image.width() || wanted.height() > m_onScreen.image.height()))
        m_decodes->want(DecodeFor::Sharpen, m_onScreen.path, m_view.display(),
                        [this](const imaging::Picture &sharper) { useSharper(sharper); });
}

void SlideShow::useSharper(const imaging::Picture &sharper)
{
    // Only while the show still holds that very file, as it was when it was first read.
    if (m_state == State::Panel || sharper.isNull() || sharper.path != m_onScreen.path ||
        !(sharper.stamp == m_onScreen.stamp))
        return;
    show(sharper);
}

void SlideShow::show(const imaging::Picture &picture)
{
    // A sharper copy of the picture this one replaces would be thrown away when it came, after
    // taking a core from the pictures ahead.
    if (picture.path != m_onScreen.path)
        m_decodes->drop(DecodeFor::Sharpen);
    m_onScreen = picture;
    m_view.showPicture(picture);
}

} // namespace show
