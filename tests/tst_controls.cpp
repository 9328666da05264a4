// The control stand-ins: key preview and lists.
#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/FolderDialog.h"
#include "controls/KeyPreview.h"
#include "system/PathCodec.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void keyPreviewSeesEachKeyOnce_data();
    void keyPreviewSeesEachKeyOnce();
    void comboRaisesClickOnIndexChange();
    void folderDialogListsNamesThatAreNoUtf8();
};

void ControlsTest::keyPreviewSeesEachKeyOnce_data()
{
    QTest::addColumn<int>("focused"); // index into the controls below; -1 for none
    const char *const kinds[] = {"check box", "push button", "scroll bar", "drop-down list",
                                 "text box"};
    for (int i = 0; i < int(std::size(kinds)); ++i)
        QTest::newRow(kinds[i]) << i;
    QTest::newRow("nothing focused") << -1;
}

void ControlsTest::keyPreviewSeesEachKeyOnce()
{
    QFETCH(int, focused);
    QWidget window;
    auto *panel = new QFrame(&window); // keys a control ignores travel up through its parents
    auto *box = new controls::CheckBox(QStringLiteral("box"), panel);
    const QList<QWidget *> controls{box, new QPushButton(panel), new QScrollBar(panel),
                                    new controls::ComboBox(panel), new QPlainTextEdit(panel)};
    QList<qint16> seen;
    new controls::KeyPreview(&window, [&seen](qint16 &keyCode) {
        seen << keyCode;
        if (keyCode == 32)
            keyCode = 0;
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    if (focused >= 0)
        controls.at(focused)->setFocus();
    pressKey(&window, Qt::Key_F5); // a key no control acts on
    pressKey(&window, Qt::Key_Space);
    QCOMPARE(seen, (QList<qint16>{255, 32}));
    QCOMPARE(box->value(), 0); // the consumed Space never reached the box
}

void ControlsTest::comboRaisesClickOnIndexChange()
{
    controls::ComboBox combo;
    combo.addItems({"a", "b"});
    QSignalSpy clicks(&combo, &controls::ComboBox::click);
    combo.setCurrentIndex(1);
    QCOMPARE(clicks.count(), 1); // raised before the setter returned
    combo.setCurrentIndex(1);
    QCOMPARE(clicks.count(), 1);
    combo.setCurrentIndex(-1);
    QCOMPARE(clicks.count(), 1); // nothing selected is no selection
}

void ControlsTest::folderDialogListsNamesThatAreNoUtf8()
{
    const TestTree tree;
    const QByteArray folder = QFile::encodeName(tree.path()) + "/\x8e\xca\x90\x5e"; // Shift-JIS
    QVERIFY(::mkdir(folder.constData(), 0700) == 0);
    // Down the tree by the names it shows, as a user would, and chosen.
    QTimer::singleShot(0, [&tree] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        auto *view = dialog->findChild<QTreeView *>();
        QModelIndex at = view->model()->index(0, 0);
        for (const QString &name : (tree.path() + "/写真").split('/', Qt::SkipEmptyParts))
            at = view->model()
                     ->match(view->model()->index(0, 0, at), Qt::DisplayRole, name)
                     .value(0);
        view->setCurrentIndex(at);
        dialog->accept();
    });
    QCOMPARE(sys::encodePath(controls::folderDialog().chooseFolder(nullptr)), folder);
}

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
