// The show without a window: event sequences on a clock and a decoder of the test's own.
#include "TestSupport.h"
#include "picture_source/frmFileList.h"
#include "show/PictureCache.h"
#include "show/ShowCaption.h"
#include "show/SlideShow.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <atomic>
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

// Where the cache's decodes run in these tests: the real worker queue, watched; or, with none,
// decodes that end only when the row says so, each decoding the real file at that moment.
class TestRunner : public show::DecodeRunner {
public:
    explicit TestRunner(std::unique_ptr<show::DecodeRunner> real = nullptr)
        : m_real(std::move(real))
    {
    }
    void setDone(Done done) override
    {
        m_done = done;
        if (m_real)
            m_real->setDone([this, done](const std::shared_ptr<show::DecodeTask> &task) {
                done(task); // posts the result first
                --m_running;
            });
    }
    void setShort(Short tooFew) override
    {
        if (m_real)
            m_real->setShort(tooFew);
    }
    void submit(const std::shared_ptr<show::DecodeTask> &task) override
    {
        m_tasks.push_back(task);
        ++m_submitted;
        if (m_real) {
            ++m_running;
            m_real->submit(task);
        }
    }
    void cancel(const std::shared_ptr<show::DecodeTask> &task) override
    {
        task->cancel.cancel();
        forget(task);
        if (m_real)
            m_real->cancel(task);
    }
    void reorder() override
    {
        if (m_real)
            m_real->reorder();
    }
    void setKeptBytes(qint64 bytes, qint64 mayGo) override
    {
        if (m_real)
            m_real->setKeptBytes(bytes, mayGo);
    }
    qint64 budget() const override { return m_budget; }
    bool busy() const override { return m_real ? m_real->busy() : !m_tasks.empty(); }

    // Ends the decodes submitted now, of the named file only if one is named; the real queue's
    // all, once they are done.
    void finish(const QString &name = QString())
    {
        if (m_real) {
            do { // what ends may start another: a file changed while it was read
                QTRY_VERIFY_WITH_TIMEOUT(m_running == 0, 10000);
                QCoreApplication::sendPostedEvents();
            } while (m_running > 0);
            m_tasks.clear();
        } else {
            for (const auto &task : std::vector<std::shared_ptr<show::DecodeTask>>(m_tasks)) {
                if (!name.isEmpty() && QFileInfo(task->path).baseName() != name)
                    continue;
                task->picture = imaging::loadPicture(task->path, task->display);
                forget(task);
                m_done(task);
            }
        }
        QCoreApplication::sendPostedEvents();
    }
    // The files being decoded, each once, the most wanted first when `ranked`; in capitals those
    // for a window grown since.
    QString inFlight(bool ranked = false) const
    {
        std::vector<std::shared_ptr<show::DecodeTask>> tasks = m_tasks;
        std::stable_sort(tasks.begin(), tasks.end(), [](const auto &a, const auto &b) {
            return a->rank.load() < b->rank.load();
        });
        QStringList names;
        for (const auto &task : tasks) {
            const QString name = QFileInfo(task->path).baseName();
            names << (task->display(QSize(10000, 100)).width() > 200 ? name.toUpper() : name);
        }
        if (!ranked)
            names.sort();
        names.removeDuplicates();
        return names.join(',');
    }

    qint64 m_budget = 1LL << 30;
    int m_submitted = 0;

private:
    void forget(const std::shared_ptr<show::DecodeTask> &task)
    {
        m_tasks.erase(std::remove(m_tasks.begin(), m_tasks.end(), task), m_tasks.end());
    }

    std::unique_ptr<show::DecodeRunner> m_real;
    Done m_done;
    std::vector<std::shared_ptr<show::DecodeTask>> m_tasks; // submitted, not ended
    std::atomic<int> m_running{0};
};

// The real cache, but for how long its decodes take: what the rows say.
class TimedDecodes : public show::Decodes {
public:
    TimedDecodes(std::unique_ptr<show::DecodeRunner> runner, int cores)
        : m_cache(std::move(runner), cores)
    {
    }
    void fetch(show::Waiter waiter, const QString &path, const show::DisplayKey &key,
               Ready ready) override
    {
        m_cache.fetch(waiter, path, key, std::move(ready));
    }
    void drop(show::Waiter waiter) override { m_cache.drop(waiter); }
    bool waitingFor(show::Waiter waiter) const override { return m_cache.waitingFor(waiter); }
    void plan(const Plan &plan, const show::DisplayKey &key) override { m_cache.plan(plan, key); }
    imaging::Picture nearest(const QString &path, const show::DisplayKey &key) const override
    {
        return m_cache.nearest(path, key);
    }
    int cores() const override { return m_cache.cores(); }
    int decodeMs() const override { return m_decodeMs; }

    int m_decodeMs = 0;

private:
    show::PictureCache m_cache;
};

class FakeView : public show::View {
public:
    show::Order order() const override { return m_order; }
    show::DisplayKey display() const override { return m_display; }
    bool isMinimised() const override { return m_minimised; }
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
    show::DisplayKey m_display{3000, 3000, 15, 1, {}};
    bool m_minimised = false;
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
    void decodeContract_data();
    void decodeContract();
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
    QTest::newRow("a pause keeps both decoding; resumed, the same pictures come")
        << "cores:2 slow:1500 start wait:500 ready:b space decoding:c,d space decoding:c,d "
           "tick"
        << inOrder << "c"
        << "N c"
        << "b c" << 2 << "running";
    QTest::newRow("a pause while a tick waits keeps its pick and the next")
        << "cores:2 slow:1500 start wait:500 space decoding:b,c space decoding:b,c tick" << inOrder
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
    // Files added and deleted: the picture source moves as if each tick drew its own pick.
    QTest::newRow("a file added while c shows comes after d, once, across a pause")
        << "start tick*2 add:0 tick space space tick*2 listed:0,a,b,c,d@a" << inOrder << "a"
        << "N a"
        << "b c d 0 a" << 5 << "running";
    QTest::newRow("a file added while d shows comes next, across a pause: the wrap lists it")
        << "start tick*3 add:0 space space tick listed:0,a,b,c,d@0" << inOrder << "0"
        << "N 0"
        << "b c d 0" << 4 << "running";
    QTest::newRow("a stop leaves the source on the last picture shown, in the listing it had")
        << "start tick*2 add:0 esc listed:a,b,c,d@c start tick*2" << inOrder << "c"
        << "N c"
        << "b c b c" << 4 << "running";
    QTest::newRow("in order, a pick drawn ahead and deleted before its tick is skipped")
        << "start tick delete:c tick listed:a,b,d@d" << inOrder << "d"
        << "N d"
        << "b d" << 2 << "running";
    QTest::newRow("minimised, ticks go on and nothing decodes; restored, the picture due comes")
        << "start minimise wait:150 tick*2 decoding: restore wait:150 decoding:c,d ready" << inOrder
        << "c"
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
    auto runner = std::make_unique<TestRunner>();
    TestRunner &decoder = *runner;
    const int cores = events.startsWith("cores:") ? events.section(' ', 0, 0).mid(6).toInt() : 1;
    auto decodes = std::make_unique<TimedDecodes>(std::move(runner), cores);
    TimedDecodes &timed = *decodes;
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
                decoder.finish();
            } else if (verb == "wait")
                clock.advance(arg.toInt());
            else if (verb == "ready")
                decoder.finish(arg);
            else if (verb == "cores")
                continue;            // the decodes were made for them
            else if (verb == "slow") // how long the decodes took
                timed.m_decodeMs = arg.toInt();
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
            } else if (verb == "minimise" || verb == "restore") {
                view.m_minimised = verb == "minimise";
                slideShow.resize();
            } else if (verb == "delete")
                QVERIFY(QFile::remove(tree.path(arg + ".jpg")));
            else if (verb == "add")
                QVERIFY(writeJpeg(tree.path(arg + ".jpg"), QSize(9, 10)));
            else if (verb == "listed") { // what the picture source lists, and the pick it is on
                QCOMPARE(source.File1->listing().names.join(',').remove(".jpg"),
                         arg.section('@', 0, 0));
                QCOMPARE(source.File1->item(Module1::lFileIndex).remove(".jpg"),
                         arg.section('@', 1));
            } else if (verb == "keep") {
                for (const QString &name : names)
                    QVERIFY(name == arg || QFile::remove(tree.path(name + ".jpg")));
            } else
                QFAIL(qPrintable("no such event: " + event));
        }
    }

    QCOMPARE(view.m_screen, screen.isEmpty() ? QString() : screen + ".jpg");
    QCOMPARE(view.m_caption,
             caption == "Pelmora"
                 ? caption
                 : show::showCaption(caption.startsWith('R') ? show::Order::Random
                                                             : show::Order::Sequential,
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

void SlideShowTest::decodeContract_data()
{
    QTest::addColumn<bool>("real");      // the worker queue, or decodes ended by the row
    QTest::addColumn<QString>("events"); // screen:a tick:a fetch; ahead:a,b keep:a,b plan
    QTest::addColumn<QString>("arrived");
    QTest::addColumn<int>("decodes"); // started
    const auto row = [](const char *name, const char *events, const char *arrived, int decodes) {
        for (const bool real : {false, true})
            QTest::addRow("%s, %s", real ? "real" : "test", name)
                << real << events << arrived << decodes;
    };
    row("a picture arrives once decoded", "tick:a settle", "T:a", 1);
    row("two waiters share one decode", "tick:a screen:a settle", "S:a T:a", 1);
    row("what a waiter waited for before never arrives", "screen:a screen:b settle", "S:b", 2);
    row("a dropped wait never arrives", "tick:a drop:tick settle", "", 1);
    row("the empty path arrives at once, and what waited before never", "screen:a screen: settle",
        "S:-", 1);
    row("decoded ahead, there at once", "ahead:a settle tick:a", "T:a", 1);
    row("kept, there at once; no longer kept, decoded again",
        "screen:a settle keep:a screen:a plan: screen:a settle", "S:a S:a S:a", 2);
    row("changed on disk, decoded afresh", "screen:a settle keep:a write:a screen:a settle",
        "S:a S:a", 2);
    row("kept for another display, the nearest", "screen:a settle keep:a size:2 near:a", "S:a N:a",
        1);
    row("no longer wanted ahead, stopped and gone", "ahead:a,b ahead:b settle near:a near:b",
        "N:- N:b", 2);
    row("waited for first, then ahead in order, then kept", "ahead:c,b tick:a rank:a,c,b", "", 3);
    row("the history kept stays within the memory there is",
        "screen:a settle budget:1 keep:b,a screen:a settle", "S:a S:a", 2);
    row("the picture on screen stays whatever the memory",
        "screen:a settle budget:1 keep:a screen:a", "S:a S:a", 1);
    row("decoded for another monitor's colours, decoded again for these",
        "screen:a settle monitor:adobe screen:a settle", "S:a S:a", 2);
    row("ahead in the old monitor's colours, decoded again in the new ones",
        "ahead:a monitor:adobe ahead:a settle near:a", "N:a", 2);
}

void SlideShowTest::decodeContract()
{
    QFETCH(bool, real);
    QFETCH(QString, events);
    QFETCH(QString, arrived);
    QFETCH(int, decodes);

    const TestTree tree;
    for (const char *name : {"a", "b", "c"})
        QVERIFY(writeJpeg(tree.path(QString(name) + ".jpg"), QSize(400, 200)));
    show::DecodeLimits limits;
    limits.cores = 1;
    auto runner = std::make_unique<TestRunner>(
        real ? std::make_unique<show::DecodeQueue>(limits, show::PictureCache::kUrgentBelow)
             : nullptr);
    TestRunner &runs = *runner;
    show::PictureCache cache(std::move(runner), 1);
    show::DisplayKey key{1500, 1500, 15, 1, {}};
    QStringList log;
    const auto logged = [&log](const char *who) {
        return [&log, who](const imaging::Picture &p) {
            log << who + (p.isNull() ? QStringLiteral("-") : QFileInfo(p.path).baseName());
        };
    };
    const auto paths = [&tree](const QString &names) {
        QStringList list;
        for (const QString &name : names.split(',', Qt::SkipEmptyParts))
            list << tree.path(name + ".jpg");
        return list;
    };
    for (const QString &event : events.split(' ')) {
        const QString verb = event.section(':', 0, 0), arg = event.section(':', 1);
        const QString path = arg.isEmpty() ? QString() : tree.path(arg + ".jpg");
        if (verb == "screen" || verb == "tick")
            cache.fetch(verb == "screen" ? show::Waiter::Screen : show::Waiter::Tick, path, key,
                        logged(verb == "screen" ? "S:" : "T:"));
        else if (verb == "drop")
            cache.drop(arg == "screen" ? show::Waiter::Screen : show::Waiter::Tick);
        else if (verb == "ahead")
            cache.plan({paths(arg), {}}, key);
        else if (verb == "keep")
            cache.plan({{}, paths(arg)}, key);
        else if (verb == "plan")
            cache.plan({}, key);
        else if (verb == "settle")
            runs.finish();
        else if (verb == "write")
            QVERIFY(writeJpeg(path, QSize(200, 400)));
        else if (verb == "size")
            key.devicePixelRatio = arg.toDouble();
        else if (verb == "monitor")
            key.profile =
                imaging::DisplayProfile::fromIcc(QColorSpace(QColorSpace::AdobeRgb).iccProfile());
        else if (verb == "near")
            log << "N:" + QFileInfo(cache.nearest(path, key).path)
                              .baseName()
                              .replace(QRegularExpression("^$"), "-");
        else if (verb == "rank")
            QCOMPARE(runs.inFlight(true), arg);
        else if (verb == "budget")
            runs.m_budget = arg.toLongLong();
        else
            QFAIL(qPrintable("no such event: " + event));
    }
    QCOMPARE(log.join(' '), arrived);
    QCOMPARE(runs.m_submitted, decodes);
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
