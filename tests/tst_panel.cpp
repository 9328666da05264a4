#include "Controls.h"
#include "FolderDialog.h"
#include "TestSupport.h"
#include "WindowTimer.h"
#include "frmFileList.h"
#include "frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

/// Answers the folder dialog from a script: each answer a path, or the empty text for Cancel.
class ScriptedFolderDialog : public platform::FolderDialog {
public:
    explicit ScriptedFolderDialog(QStringList answers, QWidget **owner = nullptr)
        : m_answers(std::move(answers))
        , m_owner(owner)
    {
    }
    QString chooseFolder(QWidget *owner) override
    {
        if (m_owner)
            *m_owner = owner;
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }

private:
    QStringList m_answers;
    QWidget **m_owner;
};

void answerDialog(const QStringList &answers, QWidget **owner = nullptr)
{
    platform::setFolderDialog(std::make_unique<ScriptedFolderDialog>(answers, owner));
}

} // namespace

class PanelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { platform::setDpiSource(std::make_unique<FixedDpi>(96)); }
    void init() { isolateViewer(); }
    void cleanup() { platform::setFolderDialog(nullptr); }

    void chosenFolderIsScannedAddedAndSelected();
    void cancelChangesNothing();
    void eleventhFolderDropsTheOldest();
    void addingAndRemovingSelectNothing();
    void subFolderOptionRescansAtOnce();
    void subFolderOptionWithEmptyList();
    void interval_data();
    void interval();
    void intervalFromTheKeyboard();
    void busyPointerOnlyWhileScanning();
};

void PanelTest::chosenFolderIsScannedAddedAndSelected()
{
    const TestTree tree({"pics/a.jpg", "empty/"});
    frmMain w;
    QWidget *owner = nullptr;
    answerDialog({tree.path("empty"), tree.path("pics"), tree.path("pics")}, &owner);
    QSignalSpy selections(w.cboFolders, &platform::ComboBox::click);

    w.cmdFolder->click();
    QCOMPARE(owner, static_cast<QWidget *>(&w));
    QCOMPARE(comboEntries(w.cboFolders), QStringList{tree.path("empty")});
    QCOMPARE(w.cboFolders->currentIndex(), 0);
    QVERIFY(!w.cmdStart->isEnabled()); // no pictures: added and selected all the same
    QCOMPARE(selections.count(), 1);

    w.cmdFolder->click();
    QCOMPARE(w.cboFolders->currentIndex(), 1);
    QVERIFY(w.cmdStart->isEnabled());
    QCOMPARE(*w.fileList().folders(), QStringList{tree.path("pics")});

    w.cmdFolder->click(); // the same folder again: a second entry, nothing checks for duplicates
    QCOMPARE(comboEntries(w.cboFolders),
             (QStringList{tree.path("empty"), tree.path("pics"), tree.path("pics")}));
    QCOMPARE(w.cboFolders->currentIndex(), 2);
    QCOMPARE(selections.count(), 3);
}

void PanelTest::cancelChangesNothing()
{
    const TestTree tree({"a/x.jpg", "b/"});
    frmMain w;
    answerDialog({tree.path("a"), tree.path("b"), QString()});
    w.cmdFolder->click();
    w.cmdFolder->click();
    w.cboFolders->setCurrentIndex(0); // back to a: Start on again
    QVERIFY(w.cmdStart->isEnabled());
    const QStringList before = comboEntries(w.cboFolders);

    w.cmdFolder->click(); // Cancel
    QCOMPARE(comboEntries(w.cboFolders), before);
    QCOMPARE(w.cboFolders->currentIndex(), 0);
    QVERIFY(w.cmdStart->isEnabled());
    QCOMPARE(*w.fileList().folders(), QStringList{tree.path("a")});
}

void PanelTest::eleventhFolderDropsTheOldest()
{
    TestTree tree;
    QStringList folders;
    for (int i = 0; i < 11; ++i) {
        tree.add({QStringLiteral("f%1/p.jpg").arg(i)});
        folders << tree.path(QStringLiteral("f%1").arg(i));
    }
    frmMain w;
    answerDialog(folders);
    for (int i = 0; i < 10; ++i)
        w.cmdFolder->click();
    QCOMPARE(comboEntries(w.cboFolders), folders.mid(0, 10));
    w.cmdFolder->click();
    QCOMPARE(comboEntries(w.cboFolders), folders.mid(1, 10));
    QCOMPARE(w.cboFolders->currentIndex(), 9);
    QCOMPARE(*w.fileList().folders(), QStringList{folders.last()});
    QVERIFY(w.cboFolders->isEnabled());
}

void PanelTest::addingAndRemovingSelectNothing()
{
    platform::ComboBox combo;
    QSignalSpy clicks(&combo, &platform::ComboBox::click);
    combo.addItem(QStringLiteral("a"));
    QCOMPARE(combo.currentIndex(), -1);
    combo.addItem(QStringLiteral("b"));
    combo.setCurrentIndex(1);
    QCOMPARE(clicks.count(), 1);
    combo.removeItem(0); // the selection moves with its entry, silently
    QCOMPARE(combo.currentIndex(), 0);
    QCOMPARE(combo.currentText(), QStringLiteral("b"));
    QCOMPARE(clicks.count(), 1);
}

void PanelTest::subFolderOptionRescansAtOnce()
{
    const TestTree tree({"top/s/a.jpg"});
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    answerDialog({tree.path("top")});
    w.cmdFolder->click();
    QVERIFY(!w.cmdStart->isEnabled());
    QTest::mouseClick(w.chkSub, Qt::LeftButton);
    QCOMPARE(w.chkSub->value(), 1);
    QVERIFY(w.cmdStart->isEnabled());
    QCOMPARE(*w.fileList().folders(), QStringList{tree.path("top/s")});
    QTest::mouseClick(w.chkSub, Qt::LeftButton);
    QCOMPARE(w.chkSub->value(), 0);
    QVERIFY(!w.cmdStart->isEnabled());
}

void PanelTest::subFolderOptionWithEmptyList()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.cmdStart->setEnabled(false);
    QTest::mouseClick(w.chkSub, Qt::LeftButton);
    QCOMPARE(w.chkSub->value(), 1);
    QVERIFY(!w.cmdStart->isEnabled());
    QVERIFY(!w.fileList().folders().has_value()); // nothing was scanned
    w.cmdStart->setEnabled(true);
    QTest::mouseClick(w.chkSub, Qt::LeftButton);
    QVERIFY(w.cmdStart->isEnabled());
}

void PanelTest::interval_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("35") << 35 << "3.5" << 3500;
    QTest::newRow("5") << 5 << "0.5" << 500;
    QTest::newRow("50") << 50 << "5" << 5000;
    QTest::newRow("back to 20") << 20 << "2" << 2000;
}

void PanelTest::interval()
{
    QFETCH(int, value);
    QFETCH(QString, label);
    QFETCH(int, milliseconds);
    frmMain w;
    QCOMPARE(w.lblTime->text(), QStringLiteral("2.0")); // the designed text until a change
    QCOMPARE(w.Timer1->interval(), 2000);
    w.HScroll1->setValue(value == 20 ? 30 : 20); // a real change first, so 20 shows as "2"
    w.HScroll1->setValue(value);
    QCOMPARE(w.lblTime->text(), label);
    QCOMPARE(w.Timer1->interval(), milliseconds);
    QVERIFY(!w.Timer1->isEnabled()); // the interval never starts the timer
}

void PanelTest::intervalFromTheKeyboard()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.HScroll1->setFocus();
    QTest::keyClick(w.HScroll1, Qt::Key_Right); // an arrow step is five tenths
    QCOMPARE(w.HScroll1->value(), 25);
    QCOMPARE(w.lblTime->text(), QStringLiteral("2.5"));
    QCOMPARE(w.Timer1->interval(), 2500);
    QTest::keyClick(w.HScroll1, Qt::Key_PageUp); // a trough step is ten
    QCOMPARE(w.HScroll1->value(), 35);
    QTest::keyClick(w.HScroll1, Qt::Key_End);
    QCOMPARE(w.HScroll1->value(), 50);
    QTest::keyClick(w.HScroll1, Qt::Key_Right);
    QCOMPARE(w.HScroll1->value(), 50);
}

void PanelTest::busyPointerOnlyWhileScanning()
{
    {
        const platform::BusyCursor busy;
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());

    const TestTree tree({"a/x.jpg"});
    frmMain w;
    answerDialog({tree.path("a"), tree.path("missing")});
    w.cmdFolder->click();
    QVERIFY(!QApplication::overrideCursor());
    w.cmdFolder->click(); // a failed scan gives the pointer back too
    QVERIFY(!w.cmdStart->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
