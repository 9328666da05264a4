#include "TestSupport.h"
#include "settings/SettingsFile.h"
#include "settings/cInifile.h"
#include "system/DirSearch.h"
#include "system/FileStamp.h"
#include "system/PathCodec.h"
#include "system/Process.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A settings object on a file of the given content in a fresh folder.
struct IniFixture {
    explicit IniFixture(const QByteArray &content = QByteArray())
    {
        if (!content.isNull())
            QVERIFY(writeAll(path(), content));
        ini.setFileName(path());
    }
    QString path() const { return tree.path(QStringLiteral("Pelmora.ini")); }
    TestTree tree;
    cInifile ini;
};

// Makes a file look untouched for two minutes.
bool makeOld(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) &&
           file.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                            QFileDevice::FileModificationTime);
}

// The real program in that server, on a disk made slow, its disk work noted in `log`.
QProcessEnvironment slowDiskEnvironment(const QString &display, const QString &log)
{
    QProcessEnvironment env = displayEnvironment(display);
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SLOWDISK_LIBRARY));
    env.insert(QStringLiteral("SLOWDISK_LOG"), log);
    // A sanitized program would refuse a library loaded ahead of its run-time.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + ":verify_asan_link_order=0");
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=" PELMORA_LSAN_SUPPRESSIONS));
    return env;
}

struct Close {
    QByteArrayList disk; // what the slow disk noted: "temp", "fsync", "rename", in order
    qint64 microseconds = 0;
    bool ended = false;
};

// The real program started and closed with Esc on its panel, as a user would; killed
// `killAfterUs` after the key was asked for, unless that is negative. It may write files of
// `sizeLimit` bytes at most (ulimit -f).
Close closeProgram(const QProcessEnvironment &env, const QString &program, int killAfterUs,
                   rlim_t sizeLimit = RLIM_INFINITY)
{
    QProcess viewer;
    viewer.setProcessEnvironment(env);
    viewer.setChildProcessModifier([sizeLimit] {
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = qMin(limit.rlim_cur, sizeLimit);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    viewer.start(program, {});
    const auto shown = [&env] {
        int code = -1;
        runTool(env, "xdotool", {"search", "--onlyvisible", "--name", "^Pelmora"}, &code);
        return code == 0;
    };
    QElapsedTimer clock;
    clock.start();
    while (!shown() && viewer.state() != QProcess::NotRunning && clock.elapsed() < 10000)
        QThread::msleep(20);
    const QString log = env.value(QStringLiteral("SLOWDISK_LOG"));
    QFile::remove(log); // start-up is no part of the close
    QProcess key;
    key.setProcessEnvironment(env);
    key.start(QStringLiteral("xdotool"), {"mousemove", "100", "100", "key", "Escape"});
    clock.start();
    if (killAfterUs >= 0) {
        QThread::usleep(static_cast<unsigned long>(killAfterUs));
        viewer.kill();
    }
    Close close;
    close.ended = viewer.waitForFinished(10000) && viewer.exitStatus() == QProcess::NormalExit &&
                  viewer.exitCode() == 0;
    close.microseconds = clock.nsecsElapsed() / 1000;
    key.waitForFinished(10000);
    QFile disk(log);
    if (disk.open(QIODevice::ReadOnly))
        close.disk = disk.readAll().split('\n');
    return close;
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void readStr_data();
    void readStr();
    void readSingle_data();
    void readSingle();
    void readInt_data();
    void readInt();
    void readEntrys();
    void deleteKeyAndSection();
    void missingFileAndFirstWrite();
    void handEditedFileKeepsEveryOtherLine();
    void lineEndsAndByteOrderMark();
    void duplicatesFirstWins();
    void unstorableTextIsRefused();
    void failedWritesLeaveTheFileWhole();

    void fileName();
    void exampleFileRoundTrip();
    void folderKeysWithGapAndStray();
    void storedTime_data();
    void storedTime();
    void positionKeptWhenNotNormal();
    void longJapanesePathRoundTrips();
    void folderNamesRoundTrip_data();
    void folderNamesRoundTrip();
    void badFiles_data();
    void badFiles();
    void fileRightsAndLinks_data();
    void fileRightsAndLinks();
    void settingsBesideTheProgramUnlessItCannotBe();
    void homeFromThePasswordDatabase();
    void closeKilledAtAnyMomentLeavesOldOrNew();
};

void SettingsTest::readStr_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    QTest::newRow("value") << QByteArray("[S]\nk=v\n") << "v";
    QTest::newRow("empty value reads as missing") << QByteArray("[S]\nk=\n") << "def";
    QTest::newRow("missing key") << QByteArray("[S]\nother=v\n") << "def";
    QTest::newRow("missing section") << QByteArray("[T]\nk=v\n") << "def";
    QTest::newRow("blanks dropped") << QByteArray("[S]\n  k  =  a b  \n") << "a b";
    QTest::newRow("names without case") << QByteArray("[s]\nK=v\n") << "v";
    QTest::newRow("= inside the value") << QByteArray("[S]\nk=a=b\n") << "a=b";
    QTest::newRow("comment is no key") << QByteArray("[S]\n;k=x\nk=v\n") << "v";
    QTest::newRow("key before any section") << QByteArray("k=x\n[S]\n") << "def";
    QTest::newRow("NUL ends the value") << QByteArray("[S]\nk=ab\0cd\n", 12) << "ab";
    QTest::newRow("byte-order mark inside is text")
        << QByteArray("[S]\nk=\xEF\xBB\xBFv\n") << QString(QChar(0xFEFF)) + "v";
    QTest::newRow("one pair of quotes dropped") << QByteArray("[S]\nk= \" a \"\" \n") << " a \"";
    QTest::newRow("a quote alone kept") << QByteArray("[S]\nk=\"v\n") << "\"v";
}

void SettingsTest::readStr()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    IniFixture f(file);
    QCOMPARE(f.ini.ReadStr("S", "k", "def"), expected);
}

void SettingsTest::readSingle_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<float>("def");
    QTest::addColumn<float>("expected");
    QTest::newRow("digits then letters") << "12abc" << 0.0f << 0.0f;
    QTest::newRow("negative") << "-45" << 0.0f << -45.0f;
    QTest::newRow("blanks around") << "   1200   " << 0.0f << 1200.0f;
    QTest::newRow("fraction") << "3.5" << 0.0f << 3.5f;
    QTest::newRow("nearest single") << "0.1" << 0.0f << 0.1f;
    QTest::newRow("exponent") << "1.5e3" << 0.0f << 1500.0f;
    QTest::newRow("plus sign") << "+7" << 0.0f << 7.0f;
    QTest::newRow("beyond single range") << "1e60" << 9.0f << 9.0f;
    QTest::newRow("too small to hold") << "1e-60" << 9.0f << 0.0f;
    QTest::newRow("not a number") << "nan" << 9.0f << 9.0f;
    QTest::newRow("infinity") << "inf" << 9.0f << 9.0f;
    QTest::newRow("grouping") << "1,200" << 9.0f << 9.0f;
    QTest::newRow("empty") << "" << 9.0f << 9.0f;
}

void SettingsTest::readSingle()
{
    QFETCH(QString, value);
    QFETCH(float, def);
    QFETCH(float, expected);
    IniFixture f("[Position]\nLeft=" + value.toUtf8() + "\n");
    QCOMPARE(f.ini.ReadSingle("Position", "Left", def), expected);
}

void SettingsTest::readInt_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("3.5") << "3.5" << 4;
    QTest::newRow("-2.5") << "-2.5" << -2;
    QTest::newRow("40000") << "40000" << 7;
    QTest::newRow("32767.4") << "32767.4" << 32767;
    QTest::newRow("32767.5 rounds out of range") << "32767.5" << 7;
    QTest::newRow("-32768") << "-32768" << -32768;
    QTest::newRow("letters") << "x1" << 7;
}

void SettingsTest::readInt()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    IniFixture f("[S]\nk=" + value.toUtf8() + "\n");
    QCOMPARE(int(f.ini.ReadInt("S", "k", 7)), expected);
}

void SettingsTest::readEntrys()
{
    IniFixture f("[S]\na=1\n; note\nbb=2\n[T]\nc=3\n");
    QCOMPARE(f.ini.ReadEntrys("S"), QString("a") + QChar(0) + "bb" + QChar(0) + QChar(0));
    QCOMPARE(f.ini.ReadEntrys("S").size(), 6);
    QCOMPARE(f.ini.ReadEntrys("missing"), QString(QChar(0)));
    // No buffer cuts the list short.
    cInifile many;
    many.setFileName(f.tree.path("many.ini"));
    for (int i = 0; i < 300; ++i)
        QVERIFY(many.WriteStr("K", QStringLiteral("key%1").arg(i), "v"));
    QCOMPARE(many.ReadEntrys("K").count(QChar(0)), 301);
}

void SettingsTest::deleteKeyAndSection()
{
    IniFixture f("[A]\nx=1\ny=2\n[B]\nz=3\n");
    QVERIFY(f.ini.DeleteKey("A", "X") != 0);
    QCOMPARE(f.ini.ReadStr("A", "x", "gone"), QString("gone"));
    QCOMPARE(f.ini.ReadStr("A", "y", ""), QString("2"));
    QVERIFY(f.ini.DeleteSection("a") != 0);
    QCOMPARE(f.ini.ReadStr("A", "y", "gone"), QString("gone"));
    QCOMPARE(f.ini.ReadStr("B", "z", ""), QString("3"));
    QCOMPARE(readAll(f.path()), QByteArray("[A]\nx=1\ny=2\n[B]\nz=3\n")); // until the commit
    QVERIFY(f.ini.Refresh() != 0);
    QCOMPARE(readAll(f.path()), QByteArray("[B]\nz=3\n"));
    QVERIFY(f.ini.DeleteKey("B", "missing") != 0);
    QVERIFY(f.ini.DeleteSection("missing") != 0);
}

void SettingsTest::missingFileAndFirstWrite()
{
    IniFixture f;
    QCOMPARE(f.ini.ReadStr("S", "k", "d"), QString("d"));
    QCOMPARE(f.ini.ReadSingle("S", "k", 2.5f), 2.5f);
    QCOMPARE(f.ini.ReadInt("S", "k", 3), qint16(3));
    QCOMPARE(f.ini.ReadEntrys("S"), QString(QChar(0)));
    QVERIFY(!QFile::exists(f.path()));
    QVERIFY(f.ini.WriteStr("S", "k", "v") != 0);
    QCOMPARE(f.ini.ReadStr("S", "k", ""), QString("v")); // its own write, before the commit
    QVERIFY(!QFile::exists(f.path()));
    QVERIFY(f.ini.Refresh() != 0);
    QCOMPARE(readAll(f.path()), QByteArray("[S]\nk=v\n"));
    cInifile other; // a second object sees the first one's committed write
    other.setFileName(f.path());
    QCOMPARE(other.ReadStr("s", "K", ""), QString("v"));
    QVERIFY(other.Refresh() != 0);
    {
        cInifile released; // without Refresh: a new name, or the release, commits
        released.setFileName(f.tree.path("a.ini"));
        QVERIFY(released.WriteStr("S", "k", "a") != 0);
        released.setFileName(f.tree.path("b.ini"));
        QVERIFY(released.WriteStr("S", "k", "b") != 0);
        QCOMPARE(readAll(f.tree.path("a.ini")), QByteArray("[S]\nk=a\n"));
    }
    QCOMPARE(readAll(f.tree.path("b.ini")), QByteArray("[S]\nk=b\n"));
}

void SettingsTest::handEditedFileKeepsEveryOtherLine()
{
    const QByteArray before = "; my viewer settings\n"
                              "\n"
                              "[Position]\n"
                              "Left = 100   ; was 90\n"
                              "Top=5\n"
                              "\n"
                              "[Mine]\n"
                              "colour=blue\n"
                              "weird line without equals\n";
    IniFixture f(before);
    QVERIFY(f.ini.WriteStr("position", "TOP", "7") != 0);
    QVERIFY(f.ini.WriteStr("Position", "Width", "7200") != 0);
    QVERIFY(f.ini.WriteStr("Display", "Time", "35") != 0);
    QVERIFY(f.ini.Refresh() != 0);
    QCOMPARE(readAll(f.path()), QByteArray("; my viewer settings\n"
                                           "\n"
                                           "[Position]\n"
                                           "Left = 100   ; was 90\n"
                                           "TOP=7\n"
                                           "Width=7200\n"
                                           "\n"
                                           "[Mine]\n"
                                           "colour=blue\n"
                                           "weird line without equals\n"
                                           "[Display]\n"
                                           "Time=35\n"));
}

void SettingsTest::lineEndsAndByteOrderMark()
{
    IniFixture f("\xEF\xBB\xBF[S]\r\na=1\r\n");
    QCOMPARE(f.ini.ReadStr("S", "a", ""), QString("1"));
    QVERIFY(f.ini.WriteStr("S", "b", "2") != 0);
    QVERIFY(f.ini.Refresh() != 0);
    QCOMPARE(readAll(f.path()), QByteArray("\xEF\xBB\xBF[S]\r\na=1\r\nb=2\r\n"));

    IniFixture noEnd("[S]\na=1"); // no line end after the last line
    QVERIFY(noEnd.ini.WriteStr("T", "b", "2") != 0);
    QVERIFY(noEnd.ini.Refresh() != 0);
    QCOMPARE(readAll(noEnd.path()), QByteArray("[S]\na=1\n[T]\nb=2\n"));

    IniFixture lastGone("[S]\na=1\n\n[T]"); // the last section, without a line end, goes
    QVERIFY(lastGone.ini.DeleteSection("T") != 0 && lastGone.ini.WriteStr("U", "b", "2") != 0);
    QVERIFY(lastGone.ini.Refresh() != 0);
    QCOMPARE(readAll(lastGone.path()), QByteArray("[S]\na=1\n\n[U]\nb=2\n"));
}

void SettingsTest::duplicatesFirstWins()
{
    IniFixture f("[S]\nk=first\nk=second\n[S]\nk=third\nj=4\n");
    QCOMPARE(f.ini.ReadStr("S", "k", ""), QString("first"));
    QVERIFY(f.ini.WriteStr("S", "k", "new") != 0);
    QCOMPARE(f.ini.ReadStr("S", "k", ""), QString("new"));
    QVERIFY(f.ini.DeleteSection("S") != 0); // every section of the name goes
    QCOMPARE(f.ini.ReadStr("S", "j", "gone"), QString("gone"));
    QVERIFY(f.ini.Refresh() != 0);
    QCOMPARE(readAll(f.path()), QByteArray());
}

void SettingsTest::unstorableTextIsRefused()
{
    IniFixture f("[S]\nk=v\n");
    QCOMPARE(f.ini.WriteStr("S", "k", "two\nlines"), 0);
    QCOMPARE(f.ini.WriteStr("S", "a=b", "v"), 0);
    QCOMPARE(f.ini.WriteStr("S]x", "k", "v"), 0);
    QCOMPARE(f.ini.WriteStr("S", "", "v"), 0);
    QCOMPARE(readAll(f.path()), QByteArray("[S]\nk=v\n"));
    cInifile unnamed; // no file name set: nothing to work on
    QCOMPARE(unnamed.WriteStr("S", "k", "v"), 0);
    QCOMPARE(unnamed.ReadStr("S", "k", "d"), QString("d"));
}

void SettingsTest::failedWritesLeaveTheFileWhole()
{
    const QByteArray before = "[S]\nk=v\n";
    IniFixture f(before);
    // The user's own file and another writer's fresh temporary file beside it are not ours.
    QVERIFY(writeAll(f.tree.path(".Pelmora.ini.backup"), before));
    QVERIFY(makeOld(f.tree.path(".Pelmora.ini.backup")));
    QVERIFY(writeAll(f.tree.path(".Pelmora.ini.tmp-a1B2c3"), before));

    // A read-only settings file is left as the user made it.
    QVERIFY(QFile::setPermissions(f.path(), QFile::ReadOwner | QFile::ReadGroup));
    QCOMPARE(f.ini.WriteStr("S", "k", "changed"), 0);
    QCOMPARE(f.ini.DeleteKey("S", "k"), 0);
    QCOMPARE(readAll(f.path()), before);
    QVERIFY(QFile::setPermissions(f.path(), QFile::ReadOwner | QFile::WriteOwner));

    // A commit that fails part-way (here: over the file-size limit, as on a full disk).
    struct rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    sys::letOversizedWritesFail(); // or the limit would end this test
    struct rlimit small = saved;
    small.rlim_cur = 12;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QVERIFY(f.ini.WriteStr("S", "longer", "a value that takes the file past its limit") != 0);
    const qint32 result = f.ini.Refresh();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    QCOMPARE(result, 0);
    QCOMPARE(readAll(f.path()), before);
    QCOMPARE(QDir(f.tree.path()).entryList(QDir::Files | QDir::Hidden), // no debris
             (QStringList{".Pelmora.ini.backup", ".Pelmora.ini.tmp-a1B2c3", "Pelmora.ini"}));
    f.ini.setFileName(QString()); // the release does not try a failed commit again
    QCOMPARE(readAll(f.path()), before);

    // Written in place, as in a folder that takes no new files, a failed write is undone.
    QVERIFY(::chmod(QFile::encodeName(f.path()), 0666) == 0);
    QVERIFY(::chmod(QFile::encodeName(f.tree.path()), 0555) == 0);
    const QString path = f.path();
    QVERIFY(inUnprivilegedChild([path, small] {
        cInifile ini;
        ini.setFileName(path);
        return ini.WriteStr("S", "longer", "past the limit") != 0 &&
               ::setrlimit(RLIMIT_FSIZE, &small) == 0 && ini.Refresh() == 0;
    }));
    QCOMPARE(readAll(path), before);
}

void SettingsTest::fileName()
{
    QCOMPARE(cInifile().FileName(), QString());
    cInifile ini;
    ini.setFileName("/x/Pelmora.ini");
    QCOMPARE(ini.FileName(), QString("/x/Pelmora.ini"));
    QCOMPARE(settings::settingsFilePath("/opt/tools", "pelmora"),
             QString("/opt/tools/pelmora.ini"));
    QCOMPARE(settings::settingsFilePath("/opt/tools/", "pelmora"),
             QString("/opt/tools/pelmora.ini"));
    QCOMPARE(settings::settingsFilePath("/", "pelmora"), QString("/pelmora.ini"));
}

void SettingsTest::exampleFileRoundTrip()
{
    const TestTree tree({"Pictures/", "Photos/Trip/"});
    const QString file = tree.path("Pelmora.ini");
    const QStringList folders{tree.path("Pictures"), tree.path("Photos/Trip")};
    settings::writeSettings(file, settings::WindowPlace{1200, 900, 7200, 5400}, 35, folders);
    QCOMPARE(readAll(file), ("[Position]\nLeft=1200\nTop=900\nWidth=7200\nHeight=5400\n"
                             "[Display]\nTime=35\n[Folders]\n00=" +
                             folders[0] + "\n01=" + folders[1] + "\n")
                                .toUtf8());
    const settings::StoredSettings read = settings::readSettings(file);
    QCOMPARE(read.place.left, 1200.0f);
    QCOMPARE(read.place.top, 900.0f);
    QCOMPARE(read.place.width.value_or(0), 7200.0f);
    QCOMPARE(read.place.height.value_or(0), 5400.0f);
    QCOMPARE(read.time, qint16(35));
    QCOMPARE(read.folders, folders);

    // Fractions and negatives keep their shortest text.
    settings::writeSettings(file, settings::WindowPlace{-45, 12.5f, 3990.75f, 1e7f}, 20, {});
    const settings::StoredSettings again = settings::readSettings(file);
    QCOMPARE(again.place.left, -45.0f);
    QCOMPARE(again.place.top, 12.5f);
    QCOMPARE(again.place.width.value_or(0), 3990.75f);
    QCOMPARE(again.place.height.value_or(0), 1e7f);
    QVERIFY(!readAll(file).contains("[Folders]\n0")); // no folder key for an empty list

    // A window system that cannot tell the place: the size is new, the place the file's.
    settings::writeSettings(file, settings::WindowPlace{0, 0, 4500, 3000, false}, 20, {});
    QVERIFY(readAll(file).startsWith("[Position]\nLeft=-45\nTop=12.5\nWidth=4500\nHeight=3000\n"));
}

void SettingsTest::folderKeysWithGapAndStray()
{
    const TestTree tree({"a/", "b/", "c/"});
    const QString file = tree.path("Pelmora.ini");
    QVERIFY(writeAll(file, ("[Folders]\n00=" + tree.path("a") + "\n02=" + tree.path("b") +
                            "\n03=" + tree.path("gone") + "\n04=\n10=" + tree.path("c") + "\n")
                               .toUtf8()));
    const settings::StoredSettings read = settings::readSettings(file);
    QCOMPARE(read.folders, (QStringList{tree.path("a"), tree.path("b")}));
    QVERIFY(!read.place.width); // no size: the window keeps its designed one
    QVERIFY(!read.place.height);
    QCOMPARE(read.place.left, 0.0f);
    QCOMPARE(read.time, qint16(20));
    settings::writeSettings(file, std::nullopt, 20, read.folders);
    const QByteArray after = readAll(file);
    QVERIFY(after.contains(("00=" + tree.path("a") + "\n01=" + tree.path("b") + "\n").toUtf8()));
    QVERIFY(!after.contains("10="));
    QVERIFY(!after.contains("02="));
}

void SettingsTest::storedTime_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("35") << QByteArray("35") << 35;
    QTest::newRow("20.5 to even") << QByteArray("20.5") << 20;
    QTest::newRow("21.5 to even") << QByteArray("21.5") << 22;
    QTest::newRow("below range") << QByteArray("1") << 5;
    QTest::newRow("above range") << QByteArray("400") << 50;
    QTest::newRow("beyond 16 bits") << QByteArray("1e9") << 50;
    QTest::newRow("not numeric") << QByteArray("fast") << 20;
    QTest::newRow("negative") << QByteArray("-3") << 5;
}

void SettingsTest::storedTime()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, expected);
    IniFixture f("[Display]\nTime=" + stored + "\n");
    QCOMPARE(int(settings::readSettings(f.path()).time), expected);
}

void SettingsTest::positionKeptWhenNotNormal()
{
    IniFixture f("[Position]\nLeft=1\nTop=2\nWidth=3\nHeight=4\n[Folders]\n00=/old\n");
    settings::writeSettings(f.path(), std::nullopt, 35, {});
    QCOMPARE(readAll(f.path()), QByteArray("[Position]\nLeft=1\nTop=2\nWidth=3\nHeight=4\n"
                                           "[Display]\nTime=35\n"));
}

void SettingsTest::longJapanesePathRoundTrips()
{
    TestTree tree;
    QString relative;
    for (int i = 0; i < 20; ++i)
        relative += QStringLiteral("写真フォルダ%1の長い名前をもつ思い出のアルバム/").arg(i);
    tree.add({relative});
    const QString folder = tree.path(relative.chopped(1));
    QVERIFY(folder.toUtf8().size() > 1023);
    QVERIFY(sys::isDirectory(folder));
    const QString file = tree.path("Pelmora.ini");
    settings::writeSettings(file, std::nullopt, 20, {folder});
    QCOMPARE(settings::readSettings(file).folders, QStringList{folder});
}

void SettingsTest::folderNamesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("name"); // the folder's own bytes
    QTest::addColumn<bool>("quoted");     // whether its path is written inside double quotes
    QTest::addColumn<QString>("shown");   // how the folder list shows the name
    QTest::newRow("plain, as always written") << QByteArray("Trip") << false << "Trip";
    QTest::newRow("trailing space") << QByteArray("Trip ") << true << "Trip ";
    QTest::newRow("leading space") << QByteArray(" Trip") << false << " Trip";
    QTest::newRow("trailing ideographic space") << QByteArray("写真　") << true << "写真　";
    QTest::newRow("the file's own signs") << QByteArray("a=b;[c]\"") << false << "a=b;[c]\"";
    QTest::newRow("Shift-JIS") << QByteArray("\x8e\xca\x90\x5e") << false << "写真";
    QTest::newRow("Latin-1") << QByteArray("caf\xe9") << false << "caf\uFFFD";
}

void SettingsTest::folderNamesRoundTrip()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, quoted);
    QFETCH(QString, shown);
    const TestTree tree;
    const QByteArray folder = QFile::encodeName(tree.path()) + '/' + name;
    QVERIFY(::mkdir(folder.constData(), 0700) == 0);
    const QString path = sys::decodePath(folder);
    const QString file = tree.path("Pelmora.ini");
    const QByteArray written =
        "[Display]\nTime=20\n[Folders]\n00=" + (quoted ? '"' + folder + '"' : folder) + "\n";
    settings::writeSettings(file, std::nullopt, 20, {path});
    QCOMPARE(readAll(file), written);
    // Read back whole, as the file an older copy or an editor left; the next close keeps it.
    const QStringList read = settings::readSettings(file).folders;
    QCOMPARE(read, QStringList{path});
    settings::writeSettings(file, std::nullopt, 20, read);
    QCOMPARE(readAll(file), written);
    QCOMPARE(sys::displayText(path), tree.path() + '/' + shown);
}

void SettingsTest::badFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator random(7);
    for (char &c : garbage)
        c = char(random.generate() & 0xFF);
    QByteArray big;
    while (big.size() < 10 * 1024 * 1024)
        big += "[S" + QByteArray::number(big.size()) + "]\nkey=" + QByteArray(80, 'v') + "\n";
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("binary garbage") << garbage;
    QTest::newRow("NUL bytes") << QByteArray("[Display]\0\nTime=3\0"
                                             "5\n[Folders]\n00=\0/x\n",
                                             36);
    QTest::newRow("10 MB") << big;
    QTest::newRow("a line of 100,000 characters")
        << "[Position]\nLeft=" + QByteArray(100000, '9') + "\n";
    QTest::newRow("mixed line ends") << QByteArray("[Display]\r\nTime=35\r[Position]\nLeft=1\r\n");
    QTest::newRow("duplicates") << QByteArray("[Display]\nTime=7\nTime=9\n[Display]\nTime=11\n");
    QTest::newRow("sizes beyond any number")
        << QByteArray("[Position]\nWidth=1e999\nHeight=-1e999\n");
}

void SettingsTest::badFiles()
{
    QFETCH(QByteArray, content);
    IniFixture f(content);
    const sys::FileStamp untouched = sys::fileStamp(f.path());
    const settings::StoredSettings read = settings::readSettings(f.path());
    QVERIFY(sys::fileStamp(f.path()) == untouched); // reading never writes
    QVERIFY(std::isfinite(read.place.left) && std::isfinite(read.place.top));
    QVERIFY(std::isfinite(read.place.width.value_or(0)));
    QVERIFY(std::isfinite(read.place.height.value_or(0)));
    QVERIFY(read.time >= 5 && read.time <= 50);
    for (const QString &folder : read.folders)
        QVERIFY(sys::isDirectory(folder));
    // Writing into such a file works and reads back.
    settings::writeSettings(f.path(), settings::WindowPlace{15, 30, 4500, 3000}, 42, {});
    const settings::StoredSettings again = settings::readSettings(f.path());
    QCOMPARE(again.time, qint16(42));
    QCOMPARE(again.place.width.value_or(0), 4500.0f);
    // The same settings once more: nothing changed, so nothing is written.
    const sys::FileStamp written = sys::fileStamp(f.path());
    settings::writeSettings(f.path(), settings::WindowPlace{15, 30, 4500, 3000}, 42, {});
    QVERIFY(sys::fileStamp(f.path()) == written);
}

void SettingsTest::fileRightsAndLinks_data()
{
    QTest::addColumn<QByteArray>("link"); // what the settings file links to; none when empty
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QString>("reads");    // the key after a write by an unprivileged user
    QTest::addColumn<QByteArray>("after"); // the file, through the link, once released
    const QByteArray before = "[S]\nk=v\n", changed = "[S]\nk=changed\n";
    QTest::newRow("folder shut") << QByteArray() << 0505 << 0606 << "changed" << changed;
    QTest::newRow("file unreadable") << QByteArray() << 0707 << 0202 << "" << before;
    QTest::newRow("dangling link")
        << QByteArray("real/new.ini") << 0707 << 0 << "changed" << changed;
    QTest::newRow("link into a missing folder")
        << QByteArray("gone/new.ini") << 0707 << 0 << "" << QByteArray("<missing>");
}

void SettingsTest::fileRightsAndLinks()
{
    QFETCH(QByteArray, link);
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    QFETCH(QString, reads);
    QFETCH(QByteArray, after);
    IniFixture f(link.isEmpty() ? QByteArray("[S]\nk=v\n") : QByteArray());
    const QString path = f.path();
    f.tree.add({"real/"});
    QVERIFY(link.isEmpty() || ::symlink(link.constData(), QFile::encodeName(path)) == 0);
    QVERIFY(::chmod(QFile::encodeName(f.tree.path("real")), 0707) == 0);
    QVERIFY(::chmod(QFile::encodeName(f.tree.path()), mode_t(folderMode)) == 0);
    QVERIFY(!link.isEmpty() || ::chmod(QFile::encodeName(path), mode_t(fileMode)) == 0);
    QVERIFY(inUnprivilegedChild([path, reads] {
        cInifile ini;
        ini.setFileName(path);
        return (ini.WriteStr("S", "k", "changed") != 0) == (reads == "changed") &&
               ini.ReadStr("S", "k", "") == reads;
    }));
    ::chmod(QFile::encodeName(path), 0600);
    QCOMPARE(readAll(path), after);
    QCOMPARE(QFileInfo(path).isSymLink(), !link.isEmpty()); // a link stays a link
}

void SettingsTest::settingsBesideTheProgramUnlessItCannotBe()
{
    TestTree tree({"portable/", "installed/", "kept/pelmora.ini", "config/"});
    const QString config = tree.path("config");
    QCOMPARE(settings::settingsLocation(tree.path("portable"), "pelmora", config),
             tree.path("portable/pelmora.ini"));
    QCOMPARE(settings::settingsLocation("/usr/bin", "pelmora", config),         // a packaged copy,
             config + "/pelmora.ini");                                          // even run by root
    QCOMPARE(settings::settingsLocation("/usr/bin", "pelmora", ""), QString()); // no home: nowhere
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                      QFile::WriteOther | QFile::ExeOther;
    QFile::setPermissions(tree.path(), open);
    QFile::setPermissions(config, open);
    QFile::setPermissions(tree.path("kept/pelmora.ini"), open);
    const auto shut = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(tree.path("installed"), shut);
    QFile::setPermissions(tree.path("kept"), shut);
    const QString root = tree.path();
    QVERIFY(inUnprivilegedChild([root, config] {
        // A folder we may not write: the user's configuration folder instead...
        const QString installed =
            settings::settingsLocation(root + "/installed", "pelmora", config);
        if (installed != config + "/pelmora.ini")
            return false;
        settings::writeSettings(installed, std::nullopt, 35, {});
        if (settings::readSettings(installed).time != 35)
            return false;
        // ...unless a settings file is already there: the portable one always wins.
        return settings::settingsLocation(root + "/kept", "pelmora", config) ==
               root + "/kept/pelmora.ini";
    }));
}

void SettingsTest::homeFromThePasswordDatabase()
{
    if (::geteuid() != 0)
        QSKIP("runs the program as another user, which takes root");
    QProcess server;
    const QString display = requireXServer(server, QSize(800, 600), {QStringLiteral("xdotool")});
    if (display.isEmpty())
        return;
    // An installed copy that may not write its folder, started without HOME as a service may
    // start it, by a user whose home the password database names but nobody made.
    TestTree tree({"app/"});
    QVERIFY(QFile::copy(QStringLiteral(PELMORA_EXECUTABLE), tree.path("app/pelmora")));
    for (const QString &path : {tree.path(), tree.path("app"), tree.path("app/pelmora")})
        QVERIFY(::chmod(QFile::encodeName(path), 0755) == 0);
    QProcessEnvironment env = displayEnvironment(display);
    env.remove(QStringLiteral("HOME"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("pelmora.settings=true"));
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=" PELMORA_LSAN_SUPPRESSIONS));
    QProcess viewer;
    viewer.setProcessEnvironment(env);
    viewer.setChildProcessModifier([] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
    });
    viewer.start(tree.path("app/pelmora"), {});
    QVERIFY(!findWindow(env, QStringLiteral("^Pelmora"), 10000).isEmpty());
    runTool(env, QStringLiteral("xdotool"), {"mousemove", "100", "100", "key", "Escape"});
    QVERIFY(viewer.waitForFinished(10000));
    QCOMPARE(viewer.exitCode(), 0);
    // It ran, and said once where its settings could not go.
    const QByteArray log = viewer.readAllStandardError();
    const QByteArray file = QByteArray(::getpwuid(65534)->pw_dir) + "/.config/pelmora.ini";
    QVERIFY2(log.count(file) == 1, log.constData());
}

void SettingsTest::closeKilledAtAnyMomentLeavesOldOrNew()
{
    QProcess server;
    const QString display = requireXServer(server, QSize(800, 600), {QStringLiteral("xdotool")});
    if (display.isEmpty())
        return;
    TestTree tree({"app/"});
    const QProcessEnvironment env = slowDiskEnvironment(display, tree.path("disk.log"));
    const QString program = tree.path("app/pelmora");
    const QString ini = tree.path("app/pelmora.ini");
    QVERIFY(QFile::copy(QStringLiteral(PELMORA_EXECUTABLE), program));
    QByteArray old = "; by hand\n[Folders]\n";
    for (int i = 0; i < settings::kFolderHistorySize; ++i) {
        tree.add({QStringLiteral("f%1/").arg(i)});
        old += settings::folderKey(i).toUtf8() + '=' +
               tree.path(QStringLiteral("f%1").arg(i)).toUtf8() + '\n';
    }
    old += "[Display]\nTime=35\n[Position]\nLeft=0\nTop=0\nWidth=3900\nHeight=3375\n";
    const auto temps = [&] {
        return QDir(tree.path("app")).entryList({".pelmora.ini.*"}, QDir::Files | QDir::Hidden);
    };

    // Left to end, the close replaces the file once.
    QVERIFY(writeAll(ini, old));
    const Close whole = closeProgram(env, program, -1);
    QVERIFY(whole.ended);
    QCOMPARE(whole.disk.count("rename"), 1);
    QCOMPARE(whole.disk.count("fsync"), 2); // the temporary file, then the folder
    // The folder history is written anew, so it moves to the end; all else stays as it was.
    const qsizetype from = old.indexOf("[Folders]"), to = old.indexOf("[Display]");
    const QByteArray saved = readAll(ini);
    QCOMPARE(saved, old.left(from) + old.mid(to) + old.mid(from, to - from));

    // Killed at moments spread over the whole close: the old settings or the new, never less.
    QMap<QByteArray, int> landed;
    int leftBehind = 0; // kills after which a temporary file lay there
    for (int i = 0; i < 50 || (landed.size() < 3 && i < 150); ++i) {
        QVERIFY(writeAll(ini, old));
        // Early moments more often: the commit comes first, the program's own teardown after.
        const double share = std::pow(std::fmod(i * 0.618034, 1.0), 2);
        const Close killed = closeProgram(env, program, int(share * whole.microseconds));
        const QByteArray now = readAll(ini);
        QVERIFY2(now == old || now == saved, qPrintable(QString::number(share)));
        QVERIFY(temps().size() <= 1); // each commit first removes what a killed one left...
        leftBehind += temps().size();
        for (const QString &temp : temps()) // ...once it is old enough to be nobody's
            QVERIFY(makeOld(tree.path("app/" + temp)));
        const qsizetype renames = killed.disk.count("rename");
        ++landed[renames == 1 ? "after" : killed.disk.contains("temp") ? "during" : "before"];
    }
    qInfo() << "one close:" << whole.disk << "; kills:" << landed << "; temporary file left after"
            << leftBehind;
    QVERIFY(landed.value("before") > 0 && landed.value("during") > 0 && landed.value("after") > 0);
    // Past the file-size limit the close fails as on a full disk; the program is not killed.
    QVERIFY(writeAll(ini, old));
    const Close limited = closeProgram(env, program, -1, 100);
    QVERIFY(limited.ended);
    QCOMPARE(limited.disk, (QByteArrayList{"temp", ""})); // one try, nothing flushed or renamed
    QCOMPARE(readAll(ini), old);
    QVERIFY(writeAll(ini, old));
    QVERIFY(closeProgram(env, program, -1).ended);
    QCOMPARE(readAll(ini), saved);
    QCOMPARE(temps(), QStringList());
    server.kill();
    server.waitForFinished();
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
