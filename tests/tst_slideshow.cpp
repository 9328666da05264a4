// The show without a window: event sequences on a clock and a decoder of the test's own.
#include "TestSupport.h"
#include "picture_source/frmFileList.h"
#include "show/ShowCaption.h"
#include "show/SlideShow.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace {

constexpr int kInterval = 500;

class FakeTimer : public show::Timer {
public:
    explicit FakeTimer(const qint64 &now)
        : m_now(now)
    {
    }
    int interval() const override { return m_interval; }
    void setInterval(int ms) override { m_interval = ms; }
    bool isEnabled() const override { return m_dueAt >= 0; }
    void setEnabled(bool on) override
    {
        if (on != isEnabled())
            m_dueAt = on ? m_now + m_interval : -1;
    }
    int remainingTime() const override { return isEnabled() ? int(m_dueAt - m_now) : -1; }
    qint64 dueAt() const { return m_dueAt; }
    void fire()
    {
        m_dueAt += m_interval; // a window timer goes on ticking until it is switched off
        emit timer();
    }

private:
    const qint64 &m_now;
    int m_interval = 0;
    qint64 m_dueAt = -1;
};

class FakeClock : public show::Clock {
public:
    std::unique_ptr<show::Timer> makeTimer() override
    {
        auto timer = std::make_unique<FakeTimer>(m_now);
        m_timers << timer.get();
        return timer;
    }
    void advance(qint64 ms)
    {
        const qint64 until = m_now + ms;
        for (;;) {
            FakeTimer *next = nullptr;
            for (FakeTimer *t : m_timers)
                if (t->isEnabled() && t->dueAt() <= until && (!next || t->dueAt() < next->dueAt()))
                    next = t;
            if (!next)
                break;
            m_now = next->dueAt();
            next->fire();
        }
        m_now = until;
    }

private:
    qint64 m_now = 0;
    QList<FakeTimer *> m_timers;
};

// Decodes that end when the row says so, each decoding the real file at that moment.
class FakeDecodes : public show::Decodes {
public:
    void want(show::DecodeFor purpose, const QString &path, const show::DisplayKey &key,
              Ready ready) override
    {
        // A picture decoded ahead is taken over, there at once.
        const std::optional<imaging::Picture> done = doneFor(path, key);
        m_wishes.erase(purpose);
        m_wishes.emplace(purpose, Wish{path, key, ready, done, ++m_serial});
        if (done && ready) {
            m_wishes.erase(purpose);
            ready(*done);
        }
    }
    void wantAhead(const QStringList &paths, const show::DisplayKey &key) override
    {
        std::vector<Wish> ahead;
        for (const QString &path : paths)
            ahead.push_back(Wish{path, key, {}, doneFor(path, key), ++m_serial});
        m_wishes.erase(show::DecodeFor::Ahead);
        for (const Wish &wish : ahead)
            m_wishes.emplace(show::DecodeFor::Ahead, wish);
    }
    void drop(show::DecodeFor purpose) override { m_wishes.erase(purpose); }
    void dropAll() override { m_wishes.clear(); }
    bool waitingFor(show::DecodeFor purpose) const override
    {
        const auto [first, last] = m_wishes.equal_range(purpose);
        return std::any_of(first, last, [](const auto &wish) { return !wish.second.done; });
    }
    int cores() const override { return m_cores; }
    int decodeMs() const override { return m_decodeMs; }
    // Ends the decodes pending now, of the named file only if one is named.
    void finishAll(const QString &name = QString())
    {
        // Only what is pending now: later wishes wait for the next word.
        std::vector<int> waiting;
        for (auto &[purpose, wish] : m_wishes) {
            if (wish.done || !(name.isEmpty() || QFileInfo(wish.path).baseName() == name))
                continue;
            wish.done = imaging::loadPicture(wish.path, show::displaySizeFor(wish.key));
            if (wish.ready)
                waiting.push_back(wish.serial);
        }
        for (int serial : waiting) {
            const auto now = std::find_if(m_wishes.begin(), m_wishes.end(),
                                          [&](const auto &w) { return w.second.serial == serial; });
            if (now == m_wishes.end())
                continue; // dropped by the one before
            const Wish wish = now->second;
            m_wishes.erase(now);
            wish.ready(*wish.done);
        }
    }
    // The files being decoded, each once; in capitals those for a window grown since.
    QString inFlight() const
    {
        std::set<QString> names;
        for (const auto &[purpose, wish] : m_wishes) {
            const QString name = QFileInfo(wish.path).baseName();
            if (!wish.done)
                names.insert(wish.key.innerWidth > 3000 ? name.toUpper() : name);
        }
        return QStringList(names.begin(), names.end()).join(',');
    }

    int m_cores = 1;
    int m_decodeMs = 0;

private:
    struct Wish {
        QString path;
        show::DisplayKey key;
        Ready ready;
        std::optional<imaging::Picture> done;
        int serial;
    };
    std::optional<imaging::Picture> doneFor(const QString &path, const show::DisplayKey &key) const
    {
        for (const auto &[purpose, wish] : m_wishes)
            if (wish.path == path && wish.key == key && wish.done)
                return wish.done;
        return std::nullopt;
    }
    std::multimap<show::DecodeFor, Wish> m_wishes;
    int m_serial = 0;
};

class FakeView : public show::View {
public:
    show::Order order() const override { return m_order; }
    show::DisplayKey display() const override { return m_display; }
    bool isMinimised() const override { return false; }
    void showPanel() override
    {
        m_screen.clear();
        m_caption = QStringLiteral("Pelmora");
    }
    void showShow() override { m_screen.clear(); }
    void showPicture(const imaging::Picture &p) override
    {
        m_screen = p.isNull() ? QString() : QFileInfo(p.path).fileName();
    }
    void showCaption(const QString &caption) override { m_caption = caption; }

    show::Order m_order = show::Order::Sequential;
    show::DisplayKey m_display{3000, 3000, 15, 1};
    QString m_screen;
    QString m_caption = QStringLiteral("Pelmora");
};

const char *stateName(show::SlideShow::State state)
{
    using State = show::SlideShow::State;
    switch (state) {
    case State::Panel:
        return "panel";
    case State::Running:
        return "running";
    case State::Waiting:
        return "waiting";
    case State::Paused:
        return "paused";
    }
    return "?";
}

} // namespace

class SlideShowTest : public QObject {
    Q_OBJECT

private slots:
    void events_data();
    void events();
    void timerTicksOnlyWhileEnabled();
};

void SlideShowTest::events_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QList<float>>("random"); // scripted numbers; none: in order
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("caption"); // the file the caption names, or "Pelmora"
    QTest::addColumn<QString>("history");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("state");
    const QList<float> inOrder;
    // The folder holds a b c d; Start draws a, so the ticks show b, c, d, a...
    QTest::newRow("Start, then a stop before the first tick") << "start esc" << inOrder << ""
                                                              << "Pelmora"
                                                              << "" << 0 << "panel";
    QTest::newRow("a tick waits for its picture") << "start wait:500" << inOrder << ""
                                                  << "Pelmora"
                                                  << "" << 0 << "waiting";
    QTest::newRow("eleven ticks keep ten; the next show goes on with them")
        << "start tick*11 esc start tick" << inOrder << "b"
        << "N b"
        << "d a b c d a b c d b" << 10 << "running";
    QTest::newRow("left, left") << "start tick*3 space left ready left ready" << inOrder << "b"
                                << "N d"
                                << "b c d" << 1 << "paused";
    QTest::newRow("left, left, left wraps to the newest")
        << "start tick*3 space left ready left ready left ready" << inOrder << "d"
        << "N d"
        << "b c d" << 3 << "paused";
    QTest::newRow("right from the newest wraps to the oldest")
        << "start tick*3 right ready" << inOrder << "b"
        << "N d"
        << "b c d" << 1 << "running";
    QTest::newRow("one entry: either arrow shows it again")
        << "start tick space left ready right ready" << inOrder << "b"
        << "N b"
        << "b" << 1 << "paused";
    QTest::newRow("nothing to step before the first tick")
        << "start left right ready" << inOrder << ""
        << "Pelmora"
        << "" << 0 << "running";
    QTest::newRow("a step keeps the tick due")
        << "start tick*2 wait:300 left ready wait:200 ready" << inOrder << "d"
        << "N d"
        << "b c d" << 3 << "running";
    QTest::newRow("the history survives a stop")
        << "start tick*2 esc start left ready" << inOrder << "b"
        << "Pelmora"
        << "b c" << 1 << "running";
    QTest::newRow("a resize before the first tick shows the Start pick")
        << "start resize ready" << inOrder << "a"
        << "Pelmora"
        << "" << 0 << "running";
    QTest::newRow("a step drops the Start pick")
        << "start tick esc start left ready resize ready" << inOrder << "b"
        << "Pelmora"
        << "b" << 1 << "running";
    QTest::newRow("a stepped-to file gone shows nothing")
        << "start tick*3 delete:c left ready" << inOrder << ""
        << "N d"
        << "b c d" << 2 << "running";
    QTest::newRow("a stepped-to file gone: the show goes on")
        << "start tick*3 delete:c left ready tick" << inOrder << "a"
        << "N a"
        << "b c d a" << 4 << "running";
    QTest::newRow("a pause while a tick waits holds the stepped-to picture")
        << "start tick*2 wait:500 space left wait:20000 ready wait:5000" << inOrder << "b"
        << "N c"
        << "b c" << 1 << "paused";
    QTest::newRow("resumed, the waiting pick comes next, once")
        << "start tick*2 wait:500 space left ready space tick*2" << inOrder << "a"
        << "N a"
        << "b c d a" << 4 << "running";
    QTest::newRow("a quick pause after resuming keeps the waiting pick's decode")
        << "start tick*2 wait:500 space ready space wait:100 space space wait:500" << inOrder << "d"
        << "N d"
        << "b c d" << 3 << "running";
    QTest::newRow("a tick gives its picture up after ten seconds")
        << "start tick wait:500 wait:10000" << inOrder << ""
        << "N c"
        << "b c" << 2 << "running";
    QTest::newRow("the give-up counts only while the show runs")
        << "start tick wait:500 space wait:20000" << inOrder << "b"
        << "N b"
        << "b" << 1 << "paused";
    // At random over one folder the second number of each pair picks the file: 0 a, 0.25 b,
    // 0.5 c, 0.75 d, 0.9 one past the last.
    QTest::newRow("at random, a pick past the last file is drawn again")
        << "start tick" << QList<float>{0, 0.9f, 0, 0.25f, 0, 0.5f} << "c"
        << "R c"
        << "c" << 1 << "running";
    QTest::newRow("at random, a pick drawn ahead is put back at a pause")
        << "start tick space keep:b space tick" << QList<float>{0, 0, 0, 0.25f, 0, 0.5f} << "b"
        << "R b"
        << "b b" << 2 << "running";
    QTest::newRow("at random, a waiting pick deleted during a pause is drawn afresh")
        << "start tick*2 wait:500 space delete:d space tick"
        << QList<float>{0, 0, 0, 0.25f, 0, 0.5f, 0, 0.75f} << "a"
        << "R a"
        << "b c a" << 3 << "running";
    QTest::newRow("at random, a pick drawn ahead and deleted before its tick is drawn afresh")
        << "start tick delete:c tick" << QList<float>{0, 0, 0, 0.25f, 0, 0.5f, 0, 0.75f} << "d"
        << "R d"
        << "b d" << 2 << "running";
    // With decodes that take three intervals, two cores decode the next two pictures at once.
    QTest::newRow("two cores: the next two pictures decode at once")
        << "cores:2 slow:1500 start decoding:b,c wait:500 ready:b decoding:c,d" << inOrder << "b"
        << "N b"
        << "b" << 1 << "running";
    QTest::newRow("as many at once as a decode takes intervals")
        << "cores:4 slow:1000 start decoding:b,c" << inOrder << ""
        << "Pelmora"
        << "" << 0 << "running";
    QTest::newRow("a pause stops both; resumed, the same pictures come")
        << "cores:2 slow:1500 start wait:500 ready:b space decoding: space decoding:c,d "
           "tick"
        << inOrder << "c"
        << "N c"
        << "b c" << 2 << "running";
    QTest::newRow("a pause while a tick waits keeps its pick and puts back the next")
        << "cores:2 slow:1500 start wait:500 space decoding:b space decoding:b,c tick" << inOrder
        << "b"
        << "N b"
        << "b" << 1 << "running";
    QTest::newRow("a resize decodes the pictures ahead again for the new size")
        << "cores:2 slow:1500 start grow wait:150 decoding:A,B,C ready" << inOrder << "a"
        << "Pelmora"
        << "" << 0 << "running";
    QTest::newRow("a sharper decode of a picture the next tick replaced stops")
        << "size:75 start tick size:3000 wait:650 ready:c decoding:d" << inOrder << "c"
        << "N c"
        << "b c" << 2 << "running";
    QTest::newRow("at random, a stop stops the picks drawn ahead; the next show draws afresh")
        << "cores:2 slow:1500 start decoding:b,c esc decoding: start tick"
        << QList<float>{0, 0, 0, 0.25f, 0, 0.5f, 0, 0.75f, 0, 0.5f, 0, 0.25f} << "c"
        << "R c"
        << "c" << 1 << "running";
}

void SlideShowTest::events()
{
    QFETCH(QString, events);
    QFETCH(QList<float>, random);
    QFETCH(QString, screen);
    QFETCH(QString, caption);
    QFETCH(QString, history);
    QFETCH(int, position);
    QFETCH(QString, state);

    const TestTree tree;
    const QStringList names{"a", "b", "c", "d"};
    for (int i = 0; i < names.size(); ++i)
        QVERIFY(writeJpeg(tree.path(names.at(i) + ".jpg"), QSize(10 + i, 10)));
    frmFileList source([] { return 0; });
    QVERIFY(source.SetFolder(tree.path()));
    FakeView view;
    FakeClock clock;
    auto decodes = std::make_unique<FakeDecodes>();
    FakeDecodes &decoder = *decodes;
    show::SlideShow slideShow(
        view, [&source]() -> frmFileList & { return source; }, std::move(decodes), clock);
    connect(&slideShow.tickTimer(), &show::Timer::timer, &slideShow, &show::SlideShow::tick);
    slideShow.setInterval(kInterval);
    const HookGuard scripted =
        overrideHook(sys::setRandomSource, std::make_unique<ScriptedRandom>(random));
    if (!random.isEmpty())
        view.m_order = show::Order::Random;

    for (const QString &event : events.split(QLatin1Char(' '))) {
        const QString verb = event.section(QLatin1Char(':'), 0, 0).section(QLatin1Char('*'), 0, 0);
        const QString arg = event.section(QLatin1Char(':'), 1);
        const int times = event.contains(QLatin1Char('*')) ? event.section('*', 1).toInt() : 1;
        for (int i = 0; i < times; ++i) {
            if (verb == "start")
                slideShow.start();
            else if (verb == "tick") { // the interval, and the picture it wants is there
                clock.advance(kInterval);
                decoder.finishAll();
            } else if (verb == "wait")
                clock.advance(arg.toInt());
            else if (verb == "ready")
                decoder.finishAll(arg);
            else if (verb == "cores")
                decoder.m_cores = arg.toInt();
            else if (verb == "slow") // how long the decodes took
                decoder.m_decodeMs = arg.toInt();
            else if (verb == "decoding")
                QCOMPARE(decoder.inFlight(), arg);
            else if (verb == "space")
                slideShow.togglePause();
            else if (verb == "left" || verb == "right")
                slideShow.step(verb == "left" ? -1 : 1);
            else if (verb == "esc")
                slideShow.stop();
            else if (verb == "resize")
                slideShow.resize();
            else if (verb == "grow") {
                view.m_display.innerWidth *= 2;
                slideShow.resize();
            } else if (verb == "size") { // a square inner area of that many twips
                view.m_display.innerWidth = view.m_display.innerHeight = arg.toFloat();
                slideShow.resize();
            } else if (verb == "delete")
                QVERIFY(QFile::remove(tree.path(arg + ".jpg")));
            else if (verb == "keep") {
                for (const QString &name : names)
                    QVERIFY(name == arg || QFile::remove(tree.path(name + ".jpg")));
            } else
                QFAIL(qPrintable("no such event: " + event));
        }
    }

    QCOMPARE(view.m_screen, screen.isEmpty() ? QString() : screen + ".jpg");
    QCOMPARE(view.m_caption, caption == "Pelmora"
                                 ? caption
                                 : show::showCaption(caption.startsWith('R') ? 1 : 0,
                                                     tree.path(caption.mid(2) + ".jpg")));
    QStringList shown;
    for (int i = 1; i <= slideShow.history().count(); ++i)
        shown << QFileInfo(slideShow.history().item(i)).completeBaseName();
    QCOMPARE(shown.join(' '), history);
    QCOMPARE(slideShow.historyPosition(), qint16(position));
    QCOMPARE(stateName(slideShow.state()), qPrintable(state));
    // Only a running show has a tick due.
    QCOMPARE(slideShow.tickTimer().isEnabled(), state == "running");
}

void SlideShowTest::timerTicksOnlyWhileEnabled()
{
    show::WindowTimer timer;
    timer.setInterval(20);
    QSignalSpy ticks(&timer, &show::WindowTimer::timer);
    QVERIFY(!timer.isEnabled());
    QTest::qWait(60);
    QCOMPARE(ticks.count(), 0);
    timer.setEnabled(true);
    QVERIFY(ticks.wait(2000));
    timer.setEnabled(false);
    const int seen = ticks.count();
    QTest::qWait(60);
    QCOMPARE(ticks.count(), seen);
}

QTEST_GUILESS_MAIN(SlideShowTest)
#include "tst_slideshow.moc"
