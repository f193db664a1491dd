// SPDX-License-Identifier: MIT
#include "app/mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QRadioButton>
#include <algorithm>

#include "app/accessible.h"
#include "app/captionbutton.h"
#include "app/fonts.h"
#include "app/picturecontrol.h"
#include "app/systemplatform.h"
#include "app/windowframe.h"
#include "draw/blockdraw.h"
#include "print/platform.h"
#include "print/printcommand.h"
#include "print/printjob.h"
#include "results/resultsfolder.h"
#include "results/save.h"
#include "results/sort.h"

namespace {

// Positions and sizes are laid out in twips, 15 to the pixel.
constexpr int px(int twips) {
    return twips / 15;
}
QRect twipRect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

const QColor kPaleYellow(255, 255, 192);
const QColor kPaleGreen(192, 255, 192);
const QColor kGrey(128, 128, 128);

const char* const kDesignSize = "tavoDesignSize";

QString indexed(const char* name, int i) {
    return QLatin1String(name) + QLatin1Char('_') + QString::number(i);
}

void setBackground(QWidget* w, const QColor& colour, const QColor& text = QColor()) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    if (text.isValid()) {
        p.setColor(QPalette::WindowText, text);
    }
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Every control, named and placed as laid out.
template <class Control>
Control* place(Control* control, const QString& name, const QRect& geometry) {
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption,
                  const QRect& geometry, const QFont& font) {
    auto* label = place(new QLabel(caption, parent), name, geometry);
    label->setFont(font);
    label->setProperty(kDesignSize, geometry.size());
    label->setMargin(0);
    label->setIndent(0);
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    MainWindow::setAutoSizeCaption(label, caption);
    return label;
}

// A command button or a print option: the controls that take the focus.
template <class Control>
Control* makeFocusable(QWidget* parent, const QString& name, const QString& caption,
                       const QString& tip, const QRect& geometry) {
    auto* control = place(new Control(caption, parent), name, geometry);
    control->setToolTip(tip);
    control->setCursor(Qt::ArrowCursor);
    keepFreeOfNotes(control);
    return control;
}

GroupFrame* makeFrame(QWidget* parent, const QString& name, const QString& caption,
                      const QRect& geometry, const QColor& colour) {
    auto* frame = place(new GroupFrame(caption, parent), name, geometry);
    frame->setFocusPolicy(Qt::NoFocus);
    frame->setCursor(Qt::ArrowCursor);
    setBackground(frame, colour);
    return frame;
}

// A line control: a one-pixel rule from (x1, y) to (x2, y), ends included.
void makeLine(QWidget* parent, const QString& name, int x1, int x2, int y, const QColor& colour) {
    auto* line = place(new QWidget(parent), name, QRect(px(x1), px(y), px(x2) - px(x1) + 1, 1));
    setBackground(line, colour);
}

}  // namespace

MainWindow::MainWindow(Platform& platform, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_platform(platform),
      m_pictures(std::make_unique<Pictures>(qApp->devicePixelRatio())),
      m_draw(std::make_unique<BlockDraw>(m_model, m_platform)),
      m_timer1(m_platform.createTimer()),
      m_focusSpacing(m_platform.createTimer()) {
    m_platform.resumeWaits();
    m_platform.setMessageParent(this);
    // The clock's timer is found by its name, as the controls are.
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setParent(this);
    m_draw->setParent(this);
    // The faces' substitutions are in place before the first control is made, in tests too.
    fonts::prepareApplication();
    accessible::install();
    buildControls();
    connectSignals();
    Form_Load();
}

MainWindow::~MainWindow() {
    // The platform may outlive the window (tests make several on one): no note may go to it.
    if (m_platform.messageParent() == this) {
        m_platform.setMessageParent(nullptr);
    }
    // A switch losing the focus as the controls go would call back into a half-gone window.
    for (PictureControl* sw : m_imageSwitch) {
        disconnect(sw, nullptr, this, nullptr);
    }
}

void MainWindow::buildControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(TavoModel::title());
    setWindowIcon(Pictures::windowIcon());
    m_inside = layOutFixedWindow(this, QSize(kClientWidth, kClientHeight));
    keepOneSize(this, m_platform.createTimer());
    setBackground(this, kPaleYellow);
    setCursor(Qt::CrossCursor);
    // Buttons and frames keep the platform's own colours, not the window's yellow.
    const QColor platformWindow = QApplication::palette().color(QPalette::Window);

    const QFont clockCaptionFont = fonts::face(fonts::kPGothic, 9.75, false);
    const QFont clockFont = fonts::face(fonts::kGothic, 12, true);
    QFont stampFont = fonts::face(fonts::kPGothic, 8.25, false);
    // The substitute's digits are wider: narrowed, the stamp fits its frame as laid out.
    stampFont.setStretch(QFont::SemiCondensed);

    QLabel* label1 = makeLabel(m_inside, QStringLiteral("Label1"), QStringLiteral("システム時刻"),
                               twipRect(360, 120, 1125, 195), clockCaptionFont);
    m_labelDateTime =
        makeLabel(m_inside, QStringLiteral("LabelDateTime"), QStringLiteral("0000/00/00,00:00:00"),
                  twipRect(1920, 120, 2565, 240), clockFont);

    auto* frameData =
        makeFrame(m_inside, QStringLiteral("FrameData"), QStringLiteral("データの処理"),
                  twipRect(120, 480, 1575, 3015), platformWindow);
    m_labelFileName = makeLabel(frameData, QStringLiteral("LabelFileName"), QString(),
                                twipRect(120, 240, 45, 165), stampFont);
    makeLine(frameData, QStringLiteral("Line1_1"), 120, 1440, 1320, kGrey);
    makeLine(frameData, QStringLiteral("Line1_0"), 120, 1440, 1440, kGrey);
    auto* framePrn = makeFrame(m_inside, QStringLiteral("FramePrn"), QStringLiteral("印刷の設定"),
                               twipRect(120, 3600, 1575, 2175), platformWindow);

    buildCommands(frameData, framePrn);

    const QFont statusFont = fonts::face(fonts::kPGothic, 11.25, false);
    const QFont letterFont = fonts::face(fonts::kAngela, 14.25, true);
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        buildBlock(k, statusFont, letterFont);
    }

    for (QLabel* label : {label1, m_labelDateTime}) {
        label->setAutoFillBackground(true);
    }

    // Only the options and the buttons take the focus; Tab runs through them in this order.
    QWidget* const tabOrder[] = {m_optionPrn[0], m_optionPrn[1], m_optionPrn[2], m_commandPrn,
                                 m_commandClr,   m_commandSave,  m_commandSort};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    m_optionPrn[0]->setFocus();
}

// The commands, as laid out, each with what its click does; the print options below them.
void MainWindow::buildCommands(QWidget* frameData, QWidget* framePrn) {
    const struct {
        QWidget* frame;
        QString name;
        QString caption;
        QString tip;
        QRect geometry;
        QPushButton* MainWindow::*control;
        void (MainWindow::*click)();
    } commands[] = {
        {frameData, QStringLiteral("CommandSave"), QStringLiteral("　ファイルに   保存"),
         QStringLiteral("TavoLog.csvに保存"), twipRect(120, 600, 1335, 615),
         &MainWindow::m_commandSave, &MainWindow::CommandSave_Click},
        {frameData, QStringLiteral("CommandClr"), QStringLiteral("表示をクリア"),
         QStringLiteral("表示内容をｸﾘｱ"), twipRect(120, 1560, 1335, 615), &MainWindow::m_commandClr,
         &MainWindow::CommandClr_Click},
        {frameData, QStringLiteral("CommandSort"), QStringLiteral("並べ替え"),
         QStringLiteral("ﾃﾞｰﾀを小→大"), twipRect(120, 2280, 1335, 615), &MainWindow::m_commandSort,
         &MainWindow::CommandSort_Click},
        {framePrn, QStringLiteral("CommandPrn"), QStringLiteral("印刷"), QStringLiteral("印刷実行"),
         twipRect(120, 1440, 1335, 615), &MainWindow::m_commandPrn, &MainWindow::CommandPrn_Click},
    };
    for (const auto& c : commands) {
        this->*c.control =
            makeFocusable<CaptionButton>(c.frame, c.name, c.caption, c.tip, c.geometry);
        connect(this->*c.control, &QPushButton::clicked, this, c.click);
    }
    // A speech synthesizer drops the arrow of the tip: the screen reader gets it in words.
    m_commandSort->setAccessibleDescription(QStringLiteral("データを小から大へ並べ替え"));

    const struct {
        QString caption;
        QString tip;
        QRect geometry;
    } options[] = {
        {QStringLiteral("文字印刷"), QStringLiteral("ﾃｷｽﾄ印刷"), twipRect(240, 240, 1215, 375)},
        {QStringLiteral("イメージ"), QStringLiteral("ｳｲﾝﾄﾞｳｲﾒｰｼﾞ印刷"),
         twipRect(240, 600, 975, 375)},
        {QStringLiteral("フレーム"), QStringLiteral("ﾌﾚｰﾑ内部印刷"), twipRect(240, 960, 975, 375)},
    };
    for (int i = 0; i < 3; ++i) {
        m_optionPrn.at(idx(i)) =
            makeFocusable<QRadioButton>(framePrn, indexed("OptionPrn", i), options[i].caption,
                                        options[i].tip, options[i].geometry);
    }
    m_optionPrn[0]->setChecked(true);
}

// Block k: its frame with the six reels, its status label and its switch.
void MainWindow::buildBlock(int k, const QFont& statusFont, const QFont& letterFont) {
    const QString letter = TavoModel::blockLetter(k);
    auto* frame = makeFrame(m_inside, indexed("FrameBlock", k), letter,
                            twipRect(1920, 480 + 1080 * k, 3735, 975), kPaleGreen);
    frame->setFont(letterFont);
    m_frameBlock.at(idx(k)) = frame;
    for (int j = 0; j < Sheet::kPositions; ++j) {
        const int i = Sheet::cell(k, j);
        auto* reel = place(new PictureControl(frame), indexed("ImageWin", i),
                           twipRect(120 + 600 * j, 360, 480, 480));
        reel->setAccessibleLabel(PictureControl::Role::Reel,
                                 QStringLiteral("ブロック%1 リール%2").arg(letter).arg(j + 1));
        reel->setAccessibleDescription(
            QStringLiteral("ブロック%1の%2番目に抽選された数字").arg(letter).arg(j + 1));
        m_imageWin.at(idx(i)) = reel;
        showReel(i);
    }

    QLabel* status = makeLabel(m_inside, indexed("LabelStat", k), QStringLiteral("開始"),
                               twipRect(6000, 600 + 1080 * k, 450, 225), statusFont);
    status->setAlignment(Qt::AlignCenter);
    m_labelStat.at(idx(k)) = status;

    auto* sw = place(new PictureControl(m_inside), indexed("ImageSwitch", k),
                     twipRect(6000, 840 + 1080 * k, 480, 480));
    sw->setToolTip(QStringLiteral("ｽﾀｰﾄ/ｽﾄｯﾌﾟ"));
    sw->setCursor(Qt::ArrowCursor);
    sw->setAccessibleLabel(PictureControl::Role::Switch,
                           QStringLiteral("ブロック%1 スイッチ").arg(letter));
    sw->setAccessibleDescription(
        QStringLiteral("1回押すとブロック%1のリールが回り、もう1回押すと6つの数字を抽選します")
            .arg(letter));
    sw->setShortcut(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_A + k)));
    keepFreeOfNotes(sw);
    m_imageSwitch.at(idx(k)) = sw;
    showSwitch(k);
    showPhase(k);
    connect(sw, &PictureControl::clicked, this, [this, k] { pressSwitch(k, false); });
    connect(sw, &PictureControl::triggered, this, [this, k] { pressSwitch(k, true); });
    connect(sw, &PictureControl::drawFocusLeft, this, [this, k] { drawFocusLeftSwitch(k); });
}

void MainWindow::setAutoSizeCaption(QLabel* label, const QString& text) {
    label->setText(text);
    // An empty caption keeps the size the label was laid out with.
    const QSize size = text.isEmpty() ? label->property(kDesignSize).toSize() : label->sizeHint();
    label->resize(size);
}

void MainWindow::connectSignals() {
    connect(&m_model, &TavoModel::reelPictureChanged, this, &MainWindow::showReel);
    connect(&m_model, &TavoModel::switchPictureChanged, this, &MainWindow::showSwitch);
    connect(&m_model, &TavoModel::phaseChanged, this, &MainWindow::showPhase);
    connect(&m_model, &TavoModel::sheetStampChanged, this,
            [this] { setAutoSizeCaption(m_labelFileName, m_model.sheetStamp()); });
    connect(&m_model, &TavoModel::clockChanged, this,
            [this] { setAutoSizeCaption(m_labelDateTime, m_model.clockText()); });
    connect(m_draw.get(), &BlockDraw::blockArmed, this, &MainWindow::announceArmed);
    connect(m_draw.get(), &BlockDraw::numberDrawn, this, &MainWindow::announceNumber);
    connect(m_draw.get(), &BlockDraw::drawFinished, this, &MainWindow::announceFinished);
    connect(m_timer1.get(), &Timer::timeout, this, [this] { m_model.ShowClock(m_platform.now()); });
    m_focusSpacing->setSingleShot(true);
    m_focusSpacing->setInterval(kFocusSpacingMs);
    connect(m_focusSpacing.get(), &Timer::timeout, this, [this] {
        if (!m_focusQueue.isEmpty()) {
            giveDrawFocus(m_focusQueue.takeFirst());
        }
    });
}

void MainWindow::showReel(int i) {
    ImageWin(i)->showPicture(m_pictures->byId(m_model.reelPicture(i)));
}

void MainWindow::showSwitch(int k) {
    ImageSwitch(k)->showPicture(m_pictures->byId(m_model.switchPicture(k)));
}

void MainWindow::showPhase(int k) {
    const TavoModel::Status shown = m_model.status(k);
    const QString& caption = shown.caption;
    QLabel* status = LabelStat(k);
    setBackground(status, kPaleYellow, QColor(shown.colour));
    setAutoSizeCaption(status, caption);
    // A screen reader reads the caption with the block; the description says what it means.
    status->setAccessibleName(
        QStringLiteral("ブロック%1 状態: %2").arg(FrameBlock(k)->title(), caption));
    static const QString kMeaning[] = {
        QStringLiteral("待機中。スイッチを押すとリールが回ります"),
        QStringLiteral("待機中。スイッチを押すとリールが回ります"),
        QStringLiteral("リール回転中。スイッチをもう1回押すと抽選します"),
        QStringLiteral("抽選中"),
    };
    status->setAccessibleDescription(kMeaning[static_cast<int>(m_model.phase(k))]);
    ImageSwitch(k)->setPhase(m_model.phase(k));
}

void MainWindow::Form_Load() {
    m_model.ShowClock(m_platform.now());
    m_timer1->start(1000);
    ResultsFolder& AppFolder = m_model.AppFolder;
    if (AppFolder.path.isEmpty()) {
        // Nothing is made here: the first save or print makes the folder it needs.
        AppFolder = chooseResultsFolder(m_platform.programFolder(), m_platform.installFolder(),
                                        m_platform.documentsFolder());
        if (AppFolder.inDocuments) {
            AppFolder.passedOver = m_platform.documentsPassedOver();
        }
    }
    ClearSheet();
}

void MainWindow::CommandClr_Click() {
    if (busy()) {
        return;
    }
    ClearSheet();
    accessible::announce(this, QStringLiteral("表示をクリアしました"));
}

void MainWindow::ClearSheet() {
    m_model.ClearSheet();
    announceSheet();
}

void MainWindow::CommandSort_Click() {
    if (busy()) {
        return;
    }
    sortSheet(m_model);
    announceSheet();
    accessible::announce(this, QStringLiteral("並べ替えました"));
}

void MainWindow::CommandSave_Click() {
    SaveReport report;
    // A save that went well shows nothing: a screen reader user hears that it did.
    if (runWaitingCommand([this, &report] { report = SaveSheet(m_model, m_platform); }) &&
        report.ok() && !report.noteShown) {
        accessible::announce(this, QStringLiteral("保存しました"));
    }
}

PrintMode MainWindow::selectedPrintMode() const {
    // The first selected option decides.
    const auto checked = std::find_if(m_optionPrn.begin(), m_optionPrn.end(),
                                      [](const QRadioButton* o) { return o->isChecked(); });
    return checked == m_optionPrn.end() ? PrintMode::None
                                        : static_cast<PrintMode>(checked - m_optionPrn.begin());
}

void MainWindow::CommandPrn_Click() {
    runWaitingCommand([this] {
        printSheet(selectedPrintMode(), m_model, *this, *m_inside, m_picture1,
                   PrintTarget{m_platform, m_model.AppFolder});
    });
}

bool MainWindow::runWaitingCommand(const std::function<void()>& command) {
    if (busy()) {
        return false;
    }
    // A save may wait for another program's lock, a print for the print server, the window
    // served meanwhile.
    m_commandRunning = true;
    setCommandsAvailable(false, -1);
    command();
    setCommandsAvailable(true, -1);
    m_commandRunning = false;
    return true;
}

bool MainWindow::busy() const {
    return m_model.ActiveBlock != 0 || m_commandRunning;
}

void MainWindow::pressSwitch(int k, bool fromKeyboard) {
    if (m_commandRunning) {
        return;
    }
    const bool starts = m_model.ActiveBlock == 0;
    const bool releases = !starts && m_model.ArmedBlock - 1 == k;
    if (starts) {
        m_focusFollowsDraw = fromKeyboard;
        setCommandsAvailable(false, k);
    }
    // A first press returns only when its draw has ended (or the window closed during it).
    m_draw->ImageSwitch_Click(k);
    if (releases && m_model.ArmedBlock == 0) {
        accessible::setUnavailable(ImageSwitch(k), true);
    }
    if (starts) {
        m_focusFollowsDraw = false;
    }
}

void MainWindow::setCommandsAvailable(bool available, int drawing) {
    for (QPushButton* b : {m_commandSave, m_commandClr, m_commandSort, m_commandPrn}) {
        accessible::setUnavailable(b, !available);
    }
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        accessible::setUnavailable(ImageSwitch(k), !available && k != drawing);
    }
}

QString MainWindow::resultText(int k) const {
    const auto first = m_model.sheet().LabelData.begin() + Sheet::cell(k, 0);
    QStringList numbers(first, first + Sheet::kPositions);
    numbers.removeAll(QString());
    return numbers.isEmpty() ? QString() : QStringLiteral("結果: ") + numbers.join(u", ");
}

// A keyboard draw moves the focus, which a screen reader speaks at once (a change of name it
// would not): to the switch as the reels spin, to each reel as it stops, back to the switch.
void MainWindow::announceArmed(int block) {
    const int k = block - 1;
    PictureControl* sw = ImageSwitch(k);
    sw->setAccessibleDetail(QString());
    for (int p = 0; p < Sheet::kPositions; ++p) {
        ImageWin(Sheet::cell(k, p))->announceSpinning(true);
    }
    moveDrawFocus(sw);
}

void MainWindow::moveDrawFocus(PictureControl* control) {
    if (!m_focusFollowsDraw) {
        return;
    }
    // The name takes its short form now; only the focus move waits its turn.
    control->beginBriefForDraw();
    if (m_focusSpacing->isActive()) {
        m_focusQueue.append(control);
    } else {
        giveDrawFocus(control);
    }
}

void MainWindow::giveDrawFocus(PictureControl* control) {
    control->takeFocusForDraw();
    m_focusSpacing->start();
}

void MainWindow::drawFocusLeftSwitch(int k) {
    // The reels take back their full names only now: a screen reader that has fallen behind
    // still reads the last reel's name after the focus came back to the switch.
    if (m_model.ActiveBlock != k + 1) {
        for (int p = 0; p < Sheet::kPositions; ++p) {
            ImageWin(Sheet::cell(k, p))->endFocusForDraw();
        }
    }
}

void MainWindow::announceNumber(int block, int position, int) {
    PictureControl* reel = ImageWin(Sheet::cell(block - 1, position - 1));
    reel->announceSpinning(false);
    moveDrawFocus(reel);
}

void MainWindow::announceFinished(int block) {
    const int k = block - 1;
    // Back before the end is told, so a screen reader hearing the numbers finds the save ready.
    setCommandsAvailable(true, -1);
    PictureControl* sw = ImageSwitch(k);
    sw->setAccessibleDetail(resultText(k));
    // After any reel still waiting its turn, so that each number is heard on its own.
    moveDrawFocus(sw);
}

void MainWindow::announceSheet() {
    for (PictureControl* reel : m_imageWin) {
        reel->announceSpinning(false);
    }
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        ImageSwitch(k)->setAccessibleDetail(resultText(k));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A draw may be running inside a click: end its waits so it unwinds and the program ends.
    m_platform.cancelWaits();
    m_draw->stopTimers();
    m_timer1->stop();
    m_focusSpacing->stop();
    // Open messages go with the window, so the program ends.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) {
            child->close();
        }
    }
    event->accept();
}
