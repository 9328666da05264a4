// The main window and its controls in their designed state.
#include "viewer/frmMain.h"

#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "picture_source/frmFileList.h"
#include "show/ShowCaption.h"
#include "system/Twips.h"
#include "viewer/AppIcon.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

namespace {

// A control's place in twips, relative to its container's inner top-left corner.
struct Place {
    float left, top, width, height;
};

constexpr Place kFrame1{60, 0, 3675, 3195};
constexpr Place kChkRND{2220, 1080, 1215, 240};
constexpr Place kText1{180, 2160, 3315, 855};
constexpr Place kCboFolders{180, 1740, 3315, 300};
constexpr Place kCmdStart{180, 300, 1995, 375};
constexpr Place kCmdEnd{2220, 300, 1275, 375};
constexpr Place kHScroll1{180, 720, 3315, 255};
constexpr Place kCmdFolder{180, 1260, 1995, 375};
constexpr Place kChkSub{2220, 1380, 1215, 255};
constexpr Place kLblTime{540, 1020, 495, 255};
constexpr Place kLabel1{1140, 1020, 675, 195};
constexpr Place kPicTemp{4440, 180, 495, 435};
constexpr Place kImage1{180, 600, 4335, 2475};

// How far the interval scroll bar moves, in tenths of a second.
constexpr int kArrowStep = 5;
constexpr int kTroughStep = 10;

const QColor kBlack(0, 0, 0);
const QColor kLightYellow(255, 255, 128);
const QColor kYellow(255, 255, 0);
const QColor kHelpBackground(255, 255, 192);
const QColor kHelpText(0, 0, 255);

const QString kHelpLines = QStringLiteral("[左クリック] or [Space] 一時停止\r\n"
                                          "        [←] 一つ前\r\n"
                                          "        [→] 一つ後\r\n"
                                          "[右クリック] or [ESC] 中止\r\n");

void place(QWidget *control, const Place &p)
{
    control->setGeometry(sys::twipsToPixels(p.left), sys::twipsToPixels(p.top),
                         sys::twipsToPixels(p.width), sys::twipsToPixels(p.height));
}

void setBackground(QWidget *control, const QColor &background)
{
    QPalette palette = control->palette();
    palette.setColor(control->backgroundRole(), background);
    control->setPalette(palette);
    control->setAutoFillBackground(true);
}

// Text on the panel's black; a transparent control lets the panel show through.
void setTextColour(QWidget *control, const QColor &text, bool opaque)
{
    QPalette palette = control->palette();
    palette.setColor(control->backgroundRole(), kBlack);
    palette.setColor(QPalette::WindowText, text);
    control->setPalette(palette);
    control->setAutoFillBackground(opaque);
}

QFont helpFont()
{
    // The help text lines up only in a fixed-pitch face; ask for the designed one first and
    // fall back to the fixed-pitch Japanese faces a Linux desktop has.
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("VL Gothic"), QStringLiteral("TakaoGothic"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setStretch(QFont::Unstretched);
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QFont panelFont()
{
    // The panel was laid out for a compact Japanese UI face at 9 points; wide Latin faces
    // would overflow the check boxes.
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"),
                      QStringLiteral("sans-serif")});
    font.setPointSize(9);
    font.setStretch(QFont::SemiCondensed);
    return font;
}

QPushButton *makeButton(const QString &caption, QWidget *parent, const Place &p)
{
    auto *button = new controls::PushButton(caption, parent);
    button->setFocusPolicy(Qt::StrongFocus);
    place(button, p);
    return button;
}

controls::CheckBox *makeCheckBox(const QString &caption, QWidget *parent, const Place &p)
{
    auto *box = new controls::CheckBox(caption, parent);
    setTextColour(box, kLightYellow, true);
    box->setFocusPolicy(Qt::StrongFocus);
    place(box, p);
    return box;
}

QLabel *makeLabel(const QString &caption, QWidget *parent, const Place &p, const QColor &text)
{
    auto *label = new QLabel(caption, parent);
    setTextColour(label, text, false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(label, p);
    return label;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QWidget(parent)
{
    createWindow();
    createDisplay();
    createPanel();
    createShow();
    createInput();
    Form_Load();
}

frmMain::~frmMain() = default;

frmFileList &frmMain::fileList()
{
    if (!m_fileList)
        m_fileList = std::make_unique<frmFileList>([this] { return chkSub->value(); });
    return *m_fileList;
}

void frmMain::createWindow()
{
    setWindowTitle(show::idleCaption());
    setWindowIcon(viewer::appIcon());
    // The panel's places are fixed, left to right, whatever the language of the toolkit's texts.
    setLayoutDirection(Qt::LeftToRight);
    setBackground(this, kBlack);
    setFont(panelFont());
    resize(sys::twipsToPixels(kInnerWidth), sys::twipsToPixels(kInnerHeight));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), size());
        centred.moveCenter(screen->availableGeometry().center());
        move(centred.topLeft());
    }
}

void frmMain::createDisplay()
{
    picTemp = new controls::PictureBox(this);
    place(picTemp, kPicTemp);
    picTemp->hide();

    Image1 = new controls::ImageBox(this);
    place(Image1, kImage1);
}

void frmMain::createPanel()
{
    Frame1 = new QFrame(this);
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    setBackground(Frame1, kBlack);
    place(Frame1, kFrame1);
    Frame1->raise(); // the panel covers the picture display where they overlap

    // Made in their tab order: the focus chain follows the order in which controls are made,
    // and so the first to take the focus is the first made.
    createPanelFolderChoice();
    createPanelInterval();
    createPanelButtons();
    createPanelFolderList();
    createHelpText();
    createPanelOrderOption();
}

void frmMain::createPanelFolderChoice()
{
    chkSub = makeCheckBox(QStringLiteral("&SubFolders"), Frame1, kChkSub);
    cmdFolder = makeButton(QStringLiteral("Select &Folder"), Frame1, kCmdFolder);
    connect(chkSub, &QCheckBox::toggled, this, &frmMain::chkSub_Click);
    connect(cmdFolder, &QPushButton::clicked, this, &frmMain::cmdFolder_Click);
}

void frmMain::createPanelInterval()
{
    HScroll1 = new QScrollBar(Qt::Horizontal, Frame1);
    HScroll1->setRange(settings::kIntervalMin, settings::kIntervalMax);
    HScroll1->setSingleStep(kArrowStep);
    HScroll1->setPageStep(kTroughStep);
    HScroll1->setValue(settings::kIntervalDesigned);
    HScroll1->setTracking(false);         // the value changes when the thumb is let go
    HScroll1->setInvertedControls(false); // the Right key lengthens the interval
    HScroll1->setFocusPolicy(Qt::StrongFocus);
    place(HScroll1, kHScroll1);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmMain::HScroll1_Change);

    lblTime = makeLabel(QStringLiteral("2.0"), Frame1, kLblTime, kYellow);
    Label1 = makeLabel(QStringLiteral("秒間隔"), Frame1, kLabel1, kLightYellow);
}

void frmMain::createPanelButtons()
{
    cmdEnd = makeButton(QStringLiteral("End"), Frame1, kCmdEnd);
    cmdStart = makeButton(QStringLiteral("Start"), Frame1, kCmdStart);
    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &frmMain::cmdEnd_Click);
}

void frmMain::createPanelFolderList()
{
    cboFolders = new controls::ComboBox(Frame1);
    cboFolders->setEditable(false);
    cboFolders->setInsertPolicy(QComboBox::InsertAtBottom);
    cboFolders->setFocusPolicy(Qt::StrongFocus);
    place(cboFolders, kCboFolders);
    connect(cboFolders, &controls::ComboBox::click, this, &frmMain::cboFolders_Click);
}

void frmMain::createPanelOrderOption()
{
    chkRND = makeCheckBox(QStringLiteral("&Randomize"), Frame1, kChkRND);
}

void frmMain::createHelpText()
{
    Text1 = new QPlainTextEdit(Frame1);
    Text1->setFont(helpFont());
    QPalette palette = Text1->palette();
    palette.setColor(QPalette::Base, kHelpBackground);
    palette.setColor(QPalette::Text, kHelpText);
    Text1->setPalette(palette);
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text1->document()->setDocumentMargin(2);
    Text1->setPlainText(QString(kHelpLines).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Text1->setFocusPolicy(Qt::StrongFocus);
    place(Text1, kText1);
}
