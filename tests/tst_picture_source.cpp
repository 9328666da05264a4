#include "TestSupport.h"
#include "picture_source/FileListBox.h"
#include "picture_source/frmFileList.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

void resetCursors()
{
    Module1::lFileIndex = -1;
    Module1::lFolderIndex = -1;
}

QStringList picks(frmFileList &source, int count, qint16 type = 0)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result << source.GetRNDFile(type);
    return result;
}

} // namespace

class PictureSourceTest : public QObject {
    Q_OBJECT

private slots:

    void inOrderAcrossLetterCase();
    void scan_data();
    void scan();
    void missingFolderKeepsPreviousScan();
    void inOrderAcrossFolders();
    void emptyPickBeforeAnyScan();
    void inOrderWalkEndsWhenPicturesVanish();
    void picksAheadLeaveTheSourceAlone();
    void randomPick_data();
    void randomPick();
    void randomPickInFolderEmptiedSinceScan();
    void fileListOrderAndPattern();
    void fileListManyPictures();
    void fileListReadsAChangedFolderOnly();
};

void PictureSourceTest::inOrderAcrossLetterCase()
{
    const TestTree tree({"b.jpg", "A.JPG", "c.Jpg", "d.jpeg", "note.txt", ".h.jpg"});
    frmFileList source([] { return 0; });
    QVERIFY(source.SetFolder(tree.path()));
    QCOMPARE(*source.folders(), QStringList{tree.path()});
    resetCursors();
    QCOMPARE(picks(source, 5),
             (QStringList{tree.path("A.JPG"), tree.path("b.jpg"), tree.path("c.Jpg"),
                          tree.path("d.jpeg"), tree.path("A.JPG")}));
}

void PictureSourceTest::scan_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("subFolders");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("folders"); // relative; "." is the tree itself
    QTest::addColumn<QString>("fileListLeftOn");
    QTest::addColumn<QString>("firstPick"); // in order, right after the cursors are reset

    QTest::newRow("pictures only in a sub-folder, option on")
        << QStringList{"s/a.jpg"} << 1 << true << QStringList{"s"} << "s"
        << "s/a.jpg";
    QTest::newRow("pictures only in a sub-folder, option off")
        << QStringList{"s/a.jpg"} << 0 << false << QStringList{""} << "."
        << "";
    QTest::newRow("two levels down is never found")
        << QStringList{"s/t/a.jpg"} << 1 << false << QStringList{""} << "s"
        << "";
    QTest::newRow("hidden sub-folder is not stored")
        << QStringList{".s/a.jpg", "v/b.jpg"} << 1 << true << QStringList{"v"} << "v"
        << "v/b.jpg";
    QTest::newRow("left on the last sub-folder, pictures or not")
        << QStringList{"a.jpg", "s1/b.jpg", "s2/"} << 1 << true << QStringList{".", "s1"} << "s2"
        << "a.jpg";
    QTest::newRow("files are no sub-folders")
        << QStringList{"a.jpg", "b.jpg.d/", "c.txt"} << 1 << true << QStringList{"."} << "b.jpg.d"
        << "a.jpg";
    QTest::newRow("empty folder") << QStringList{"x/"} << 0 << false << QStringList{""} << "."
                                  << "";
}

void PictureSourceTest::scan()
{
    QFETCH(QStringList, names);
    QFETCH(int, subFolders);
    QFETCH(bool, result);
    QFETCH(QStringList, folders);
    QFETCH(QString, fileListLeftOn);
    QFETCH(QString, firstPick);
    const TestTree tree(names);
    frmFileList source([subFolders] { return subFolders; });

    QCOMPARE(source.SetFolder(tree.path()), result);
    QStringList expected;
    for (const QString &f : folders)
        expected << (f.isEmpty() ? QString() : f == "." ? tree.path() : tree.path(f));
    QCOMPARE(*source.folders(), expected);
    QCOMPARE(source.File1->path(), fileListLeftOn == "." ? tree.path() : tree.path(fileListLeftOn));
    // The walk starts on what the file list shows, or else on the first stored folder.
    resetCursors();
    QCOMPARE(source.GetRNDFile(0), firstPick.isEmpty() ? QString() : tree.path(firstPick));
}

void PictureSourceTest::missingFolderKeepsPreviousScan()
{
    const TestTree tree({"a.jpg", "plain.txt"});
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    QVERIFY(!source.SetFolder(tree.path("missing")));
    QVERIFY(!source.SetFolder(QString()));
    QVERIFY(!source.SetFolder(tree.path("?.jpg"))); // a name, never a pattern
    QCOMPARE(*source.folders(), QStringList{tree.path()});
    QVERIFY(!source.SetFolder(tree.path("plain.txt"))); // exists, but lists nothing
    QCOMPARE(*source.folders(), QStringList{QString()});
    QVERIFY(source.SetFolder(tree.path()));
    resetCursors();
    QCOMPARE(source.GetRNDFile(0), tree.path("a.jpg"));
}

void PictureSourceTest::inOrderAcrossFolders()
{
    const TestTree tree({"a.jpg", "s1/b.jpg", "s1/c.jpg", "s2/d.jpg"});
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    QCOMPARE(source.folders()->size(), 3);
    resetCursors();
    // The scan left the file list on s2, so the walk starts there, then wraps to element 0.
    QCOMPARE(picks(source, 6),
             (QStringList{tree.path("s2/d.jpg"), tree.path("a.jpg"), tree.path("s1/b.jpg"),
                          tree.path("s1/c.jpg"), tree.path("s2/d.jpg"), tree.path("a.jpg")}));
}

void PictureSourceTest::emptyPickBeforeAnyScan()
{
    const TestTree tree({"a.jpg"});
    QVERIFY(QDir::setCurrent(tree.path())); // the file list starts on the current folder
    frmFileList source([] { return 0; });
    resetCursors();
    QCOMPARE(source.GetRNDFile(0), QString());
    QCOMPARE(source.GetRNDFile(1), QString());
    QVERIFY(!source.SetFolder(tree.path("missing")));
    QCOMPARE(source.GetRNDFile(0), QString());
    QVERIFY(!source.folders().has_value());
}

void PictureSourceTest::inOrderWalkEndsWhenPicturesVanish()
{
    const TestTree tree({"s1/a.jpg", "s2/b.jpg", "s3/c.jpg"});
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    resetCursors();
    QCOMPARE(source.GetRNDFile(0), tree.path("s3/c.jpg"));
    for (const char *name : {"s1/a.jpg", "s2/b.jpg", "s3/c.jpg"})
        QVERIFY(QFile::remove(tree.path(name)));
    QCOMPARE(source.GetRNDFile(0), QString());
    QCOMPARE(source.GetRNDFile(0), QString());
    QVERIFY(writeJpeg(tree.path("s2/new.jpg"), QSize(4, 4)));
    QCOMPARE(source.GetRNDFile(0), tree.path("s2/new.jpg"));
}

void PictureSourceTest::picksAheadLeaveTheSourceAlone()
{
    const TestTree tree({"a.jpg", "b.jpg", "s/c.jpg"});
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    resetCursors();
    const frmFileList::Cursor start = source.cursor();
    frmFileList::Cursor ahead = start;
    QStringList drawn;
    for (int i = 0; i < 4; ++i)
        drawn << source.pickAfter(ahead, 0);
    QCOMPARE(drawn, (QStringList{tree.path("s/c.jpg"), tree.path("a.jpg"), tree.path("b.jpg"),
                                 tree.path("s/c.jpg")}));
    QCOMPARE(Module1::lFileIndex, -1); // nothing moved
    QCOMPARE(source.File1->path(), start.listing.folder);
    QCOMPARE(picks(source, 2), drawn.mid(0, 2)); // the same picks, drawn in turn
    source.moveTo(ahead);
    QCOMPARE(picks(source, 1), QStringList{tree.path("a.jpg")});

    // Listed afresh, the file cursor stays on the name it was on, or the last one before it.
    QVERIFY(writeJpeg(tree.path("0.jpg"), QSize(8, 8)));
    frmFileList::Cursor fresh = source.relisted(source.cursor());
    QCOMPARE(source.pickAfter(fresh, 0), tree.path("b.jpg"));
    QVERIFY(QFile::remove(tree.path("a.jpg")));
    QCOMPARE(source.relisted(source.cursor()).fileIndex, 0); // on 0.jpg, before the gone a.jpg
    QCOMPARE(source.File1->count(), 2); // listed afresh, but only for the cursor
}

void PictureSourceTest::randomPick_data()
{
    QTest::addColumn<int>("folderCount"); // sub-folders f0.., each with `files` pictures
    QTest::addColumn<int>("files");
    QTest::addColumn<float>("r1");
    QTest::addColumn<float>("r2");
    QTest::addColumn<int>("folderIndex");
    QTest::addColumn<int>("fileIndex"); // == files: the folder and a separator

    QTest::newRow("one picture, r2 0.5") << 1 << 1 << 0.3f << 0.5f << 0 << 0;
    QTest::newRow("one picture, r2 above 0.5") << 1 << 1 << 0.9f << 0.51f << 0 << 1;
    QTest::newRow("two folders, r1 below 0.5") << 2 << 2 << 0.49f << 0.0f << 0 << 0;
    QTest::newRow("two folders, r1 exactly 0.5") << 2 << 2 << 0.5f << 0.0f << 0 << 0;
    QTest::newRow("two folders, r1 above 0.5") << 2 << 2 << 0.51f << 0.0f << 1 << 0;
    QTest::newRow("three folders, half to even") << 3 << 4 << 0.25f << 0.375f << 0 << 2;
    QTest::newRow("three folders, just past half") << 3 << 4 << 0.26f << 0.625f << 1 << 2;
    QTest::newRow("three folders, last") << 3 << 4 << 0.75f << 0.99f << 2 << 4;
}

void PictureSourceTest::randomPick()
{
    QFETCH(int, folderCount);
    QFETCH(int, files);
    QFETCH(float, r1);
    QFETCH(float, r2);
    QFETCH(int, folderIndex);
    QFETCH(int, fileIndex);
    TestTree tree;
    for (int f = 0; f < folderCount; ++f) {
        for (int i = 0; i < files; ++i)
            tree.add({QStringLiteral("f%1/p%2.jpg").arg(f).arg(i)});
    }
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    int reseeds = 0;
    const auto random = overrideHook(
        sys::setRandomSource, std::make_unique<ScriptedRandom>(QList<float>{r1, r2}, &reseeds));

    const QString folder = tree.path(QStringLiteral("f%1").arg(folderIndex));
    const QString file = fileIndex < files ? QStringLiteral("p%1.jpg").arg(fileIndex) : QString();
    QCOMPARE(source.GetRNDFile(1), folder + '/' + file);
    QCOMPARE(Module1::lFolderIndex, folderIndex);
    QCOMPARE(Module1::lFileIndex, fileIndex);
    QCOMPARE(reseeds, 1);
    QCOMPARE(source.File1->path(), folder);
}

void PictureSourceTest::randomPickInFolderEmptiedSinceScan()
{
    const TestTree tree({"a.jpg"});
    frmFileList source([] { return 0; });
    QVERIFY(source.SetFolder(tree.path()));
    QVERIFY(QFile::remove(tree.path("a.jpg")));
    const auto random = overrideHook(sys::setRandomSource,
                                     std::make_unique<ScriptedRandom>(QList<float>{0.0f, 0.0f}));
    QCOMPARE(source.GetRNDFile(1), QString());
    // An in-order show that follows starts on the folder of the last random pick.
    QVERIFY(writeJpeg(tree.path("b.jpg"), QSize(4, 4)));
    resetCursors();
    QCOMPARE(source.GetRNDFile(0), tree.path("b.jpg"));
}

void PictureSourceTest::fileListOrderAndPattern()
{
    const TestTree tree({"b.jpg", "A.JPG", "c.Jpg", "d.jpeg", "E.JPEG", "x.png", "y.jpgx",
                         ".hidden.jpg", "folder.jpg/", "sub/z.jpg"});
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG;*.JPEG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 5);
    const QStringList expected{"A.JPG", "b.jpg", "c.Jpg", "d.jpeg", "E.JPEG"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(list.item(i), expected.at(i));
    QCOMPARE(list.item(list.count()), QString());
    QCOMPARE(list.path(), tree.path());

    list.setPath(tree.path("missing"));
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.item(0), QString());
}

void PictureSourceTest::fileListManyPictures()
{
    // More names than a 16-bit count could hold.
    const TestTree tree;
    const QByteArray root = QFile::encodeName(tree.path());
    for (int i = 0; i < 50000; ++i) {
        const QByteArray name = root + "/p" + QByteArray::number(i).rightJustified(5, '0') + ".jpg";
        QFile file(QFile::decodeName(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 50000);
    QCOMPARE(list.item(0), QStringLiteral("p00000.jpg"));
    QCOMPARE(list.item(49999), QStringLiteral("p49999.jpg"));
    QCOMPARE(list.item(50000), QString());
}

void PictureSourceTest::fileListReadsAChangedFolderOnly()
{
    TestTree tree({"a.jpg", "b.jpg"});
    const QByteArray folder = QFile::encodeName(tree.path());
    const auto age = [&] { // as if the folder had last changed an hour ago
        const timespec old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, folder.constData(), old, 0), 0);
    };
    age();
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 2);

    tree.add({"c.jpg"}); // a change on disk is always seen
    list.setPath(tree.path());
    QCOMPARE(list.count(), 3);

    age();
    list.setPath(tree.path());
    tree.add({"d.jpg"});
    age(); // the same modification time as at the last reading: the folder is not read again
    list.setPath(tree.path());
    QCOMPARE(list.count(), 3);
    list.setPath(tree.path("missing")); // another folder in between reads afresh
    list.setPath(tree.path());
    QCOMPARE(list.count(), 4);
}

QTEST_MAIN(PictureSourceTest)
#include "tst_picture_source.moc"
