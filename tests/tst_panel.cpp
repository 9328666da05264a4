#include "TestSupport.h"
#include "controls/BusyCursor.h"
#include "controls/Controls.h"
#include "controls/FolderDialog.h"
#include "controls/PictureControls.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "viewer/frmMain.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <map>

namespace {

/// Answers the folder dialog from a script: each answer a path, or the empty text for Cancel.
class ScriptedFolderDialog : public controls::FolderDialog {
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

[[nodiscard]] HookGuard answerDialog(const QStringList &answers, QWidget **owner = nullptr)
{
    return overrideHook(controls::setFolderDialog,
                        std::make_unique<ScriptedFolderDialog>(answers, owner));
}

} // namespace

class PanelTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_isolation.emplace(isolateViewer()); }
    void cleanup() { m_isolation.reset(); }

    void designedPlaces_data();
    void designedPlaces();
    void designedState();
    void tabOrder();
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

private:
    const HookGuard m_dpi = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
    std::optional<IsolatedViewer> m_isolation;
};

void PanelTest::designedPlaces_data()
{
    // Pixels at 96 DPI: the designed twips divided by 15.
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Frame1") << "Frame1" << QRect(4, 0, 245, 213);
    QTest::newRow("chkRND") << "chkRND" << QRect(148, 72, 81, 16);
    QTest::newRow("Text1") << "Text1" << QRect(12, 144, 221, 57);
    QTest::newRow("cboFolders") << "cboFolders" << QRect(12, 116, 221, 20);
    QTest::newRow("cmdStart") << "cmdStart" << QRect(12, 20, 133, 25);
    QTest::newRow("cmdEnd") << "cmdEnd" << QRect(148, 20, 85, 25);
    QTest::newRow("HScroll1") << "HScroll1" << QRect(12, 48, 221, 17);
    QTest::newRow("cmdFolder") << "cmdFolder" << QRect(12, 84, 133, 25);
    QTest::newRow("chkSub") << "chkSub" << QRect(148, 92, 81, 17);
    QTest::newRow("lblTime") << "lblTime" << QRect(36, 68, 33, 17);
    QTest::newRow("Label1") << "Label1" << QRect(76, 68, 45, 13);
    QTest::newRow("Image1") << "Image1" << QRect(12, 40, 289, 165);
}

void PanelTest::designedPlaces()
{
    QFETCH(QString, control);
    QFETCH(QRect, geometry);
    frmMain w;
    const std::map<QString, QWidget *> controls{
        {"Frame1", w.Frame1},         {"chkRND", w.chkRND},       {"Text1", w.Text1},
        {"cboFolders", w.cboFolders}, {"cmdStart", w.cmdStart},   {"cmdEnd", w.cmdEnd},
        {"HScroll1", w.HScroll1},     {"cmdFolder", w.cmdFolder}, {"chkSub", w.chkSub},
        {"lblTime", w.lblTime},       {"Label1", w.Label1},       {"Image1", w.Image1}};
    QWidget *widget = controls.at(control);
    QCOMPARE(widget->geometry(), geometry);
    const bool onPanel = control != "Frame1" && control != "Image1";
    QCOMPARE(widget->parentWidget(), onPanel ? static_cast<QWidget *>(w.Frame1) : &w);
    QCOMPARE(w.size(), QSize(260, 225));
}

void PanelTest::designedState()
{
    frmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelmora"));
    QCOMPARE(w.palette().color(QPalette::Window), QColor(0, 0, 0));
    QCOMPARE(w.cmdStart->text(), QStringLiteral("Start"));
    QCOMPARE(w.cmdEnd->text(), QStringLiteral("End"));
    QCOMPARE(w.cmdFolder->text(), QStringLiteral("Select &Folder"));
    QCOMPARE(w.chkRND->text(), QStringLiteral("&Randomize"));
    QCOMPARE(w.chkSub->text(), QStringLiteral("&SubFolders"));
    QCOMPARE(w.lblTime->text(), QStringLiteral("2.0"));
    QCOMPARE(w.Label1->text(), QStringLiteral("秒間隔"));
    QCOMPARE(w.chkRND->palette().color(QPalette::WindowText), QColor(255, 255, 128));
    QCOMPARE(w.lblTime->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    QCOMPARE(w.Text1->palette().color(QPalette::Base), QColor(255, 255, 192));
    QCOMPARE(w.Text1->palette().color(QPalette::Text), QColor(0, 0, 255));
    for (QPushButton *b : {w.cmdStart, w.cmdEnd, w.cmdFolder})
        QVERIFY(!b->isDefault() && !b->autoDefault());
    QCOMPARE(w.chkRND->value(), 0);
    QCOMPARE(w.chkSub->value(), 0);
    QVERIFY(!w.Timer1->isEnabled());
    QCOMPARE(w.Timer1->interval(), 2000);
    QCOMPARE(w.HScroll1->minimum(), 5);
    QCOMPARE(w.HScroll1->maximum(), 50);
    QCOMPARE(w.HScroll1->value(), 20);
    QCOMPARE(w.cboFolders->count(), 0);
    QCOMPARE(w.cboFolders->currentIndex(), -1);
    QVERIFY(w.picTemp->isHidden());
    QVERIFY(!w.Frame1->isHidden());
    QVERIFY(w.Image1->picture().isNull());
    // The panel lies above the picture display where they overlap.
    const QObjectList children = w.children();
    QVERIFY(children.indexOf(w.Frame1) > children.indexOf(w.Image1));

    QVERIFY(w.Text1->isReadOnly());
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("[左クリック] or [Space] 一時停止\n"
                                                    "        [←] 一つ前\n"
                                                    "        [→] 一つ後\n"
                                                    "[右クリック] or [ESC] 中止\n"));
    // The indented lines line up only if every half-width sign is as wide as the next and
    // a Japanese sign is two of them.
    const QFontMetrics help(w.Text1->font());
    const int cell = help.horizontalAdvance(QLatin1Char('i'));
    QVERIFY2(help.horizontalAdvance(QLatin1Char('M')) == cell &&
                 help.horizontalAdvance(QLatin1Char('[')) == cell,
             qPrintable(QFontInfo(w.Text1->font()).family()));
    QVERIFY(help.inFont(QChar(0x505C))); // 停
    QCOMPARE(help.horizontalAdvance(QChar(0x505C)), 2 * cell);
    QCOMPARE(QFontInfo(w.Text1->font()).pointSize(), 9);
}

void PanelTest::tabOrder()
{
    frmMain w;
    w.cmdStart->setEnabled(true); // as after a scan that found pictures
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.chkSub)); // the first focus
    const QList<QWidget *> expected{w.cmdFolder,  w.HScroll1, w.cmdEnd, w.cmdStart,
                                    w.cboFolders, w.Text1,    w.chkRND, w.chkSub};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    w.cmdStart->setEnabled(false);
    w.cmdEnd->setFocus();
    QTest::keyClick(w.cmdEnd, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.cboFolders));
}

void PanelTest::chosenFolderIsScannedAddedAndSelected()
{
    const TestTree tree({"pics/a.jpg", "empty/"});
    frmMain w;
    QWidget *owner = nullptr;
    const auto dialog =
        answerDialog({tree.path("empty"), tree.path("pics"), tree.path("pics")}, &owner);
    QSignalSpy selections(w.cboFolders, &controls::ComboBox::click);

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
    const auto dialog = answerDialog({tree.path("a"), tree.path("b"), QString()});
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
    const auto dialog = answerDialog(folders);
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
    controls::ComboBox combo;
    QSignalSpy clicks(&combo, &controls::ComboBox::click);
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
    const auto dialog = answerDialog({tree.path("top")});
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
        const controls::BusyCursor busy;
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());

    const TestTree tree({"a/x.jpg"});
    frmMain w;
    const auto dialog = answerDialog({tree.path("a"), tree.path("missing")});
    w.cmdFolder->click();
    QVERIFY(!QApplication::overrideCursor());
    w.cmdFolder->click(); // a failed scan gives the pointer back too
    QVERIFY(!w.cmdStart->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
