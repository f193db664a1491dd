// SPDX-License-Identifier: MIT
#pragma once

// The one window, "Tavo V1.1": five blocks A-E of six reels with a switch and a status label,
// the clock, and the sort, save, clear and print commands.
//
// One model, one view: TavoModel holds everything the window shows or holds (the sheet, the
// form state, each reel's face, each switch's picture, each status, the stamps and the clock)
// and says when it changes; the rules (draw/, results/, print/) change the model; this window
// builds the controls, draws the model and forwards clicks to the rules.
//
// Flow of a draw: the first press on a block's switch (BlockDraw::ImageSwitch_Click) stamps the
// block in the model and arms it; its reels spin on the reel timer, which sets the faces the
// model's reels show. The draw then runs inside that click, waiting in loops that dispatch
// events, so the second press, the timers and the clock are served from inside it: the second
// press clears ArmedBlock, and for each position the draw hands a number over in StopTarget and
// waits until the reel timer has stopped the leftmost spinning reel on it. The numbers go into
// the model's off-window sheet, which sorting, saving and printing read; while a draw runs
// (ActiveBlock != 0) those commands and the clear do nothing.

#include <QList>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "app/groupframe.h"
#include "app/pictures.h"
#include "model/tavomodel.h"
#include "model/timer.h"

class BlockDraw;
enum class PrintMode;
class Platform;
class PictureControl;
class QLabel;
class QPushButton;
class QRadioButton;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 448;
    static constexpr int kClientHeight = 392;

    explicit MainWindow(Platform& platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Visible controls, by control name and element index.
    PictureControl* ImageWin(int i) const { return m_imageWin.at(idx(i)); }
    PictureControl* ImageSwitch(int k) const { return m_imageSwitch.at(idx(k)); }
    QLabel* LabelStat(int k) const { return m_labelStat.at(idx(k)); }
    GroupFrame* FrameBlock(int k) const { return m_frameBlock.at(idx(k)); }
    QRadioButton* OptionPrn(int i) const { return m_optionPrn.at(idx(i)); }
    QLabel* LabelFileName() const { return m_labelFileName; }
    QLabel* LabelDateTime() const { return m_labelDateTime; }
    QPushButton* CommandSave() const { return m_commandSave; }
    QPushButton* CommandClr() const { return m_commandClr; }
    QPushButton* CommandSort() const { return m_commandSort; }
    QPushButton* CommandPrn() const { return m_commandPrn; }
    // The window's inside, kClientWidth x kClientHeight, which holds the controls: the window
    // itself, or natively on Wayland the panel below the title bar the window draws itself.
    QWidget* inside() const { return m_inside; }

    // What the window shows and holds, and the rules that change it.
    TavoModel& model() { return m_model; }
    const TavoModel& model() const { return m_model; }
    Sheet& sheet() { return m_model.sheet(); }
    const Sheet& sheet() const { return m_model.sheet(); }
    // The last captured window picture.
    QPixmap& Picture1() { return m_picture1; }

    // Sets a label's caption, growing or shrinking it to its text with its top-left corner kept.
    static void setAutoSizeCaption(QLabel* label, const QString& text);
    // The print mode the options select.
    PrintMode selectedPrintMode() const;

    // Event handlers and the window's procedures.
    void Form_Load();
    void Timer1_Timer();
    void ShowClock();
    void CommandClr_Click();
    void ClearSheet();
    void CommandSort_Click();
    void CommandSave_Click();
    void CommandPrn_Click();

    // A press on switch k, from the mouse or else from the keyboard or assistive technology;
    // a draw started from the keyboard takes the focus along, so a screen reader speaks it.
    void pressSwitch(int k, bool fromKeyboard);

    // What assistive technology hears of the draw and the sheet, beyond what the controls tell
    // by themselves: reels spinning, each number as it stands, the numbers on the switch.
    void announceArmed(int block);
    void announceNumber(int block, int position, int number);
    void announceFinished(int block);
    // After the sheet was set at once (cleared, sorted): every reel and switch anew.
    void announceSheet();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    void buildControls();
    // A draw, a save or a print is in progress: the commands do nothing.
    bool busy() const;
    // Runs a save or a print, which may wait on something outside the program while the window
    // is served.
    void runWaitingCommand(const std::function<void()>& command);
    // The commands and every switch but the drawing block's do nothing during a draw.
    void setCommandsAvailable(bool available, int drawing);
    QString resultText(int k) const;
    void connectModel();
    // The view of the model: each control shows what the model names for it.
    void showReel(int i);
    void showSwitch(int k);
    void showPhase(int k);

    Platform& m_platform;
    std::unique_ptr<Pictures> m_pictures;
    TavoModel m_model;
    std::unique_ptr<BlockDraw> m_draw;
    std::unique_ptr<Timer> m_timer1;
    bool m_focusFollowsDraw = false;
    // A screen reader drops a focus move that the next one overtakes before it has spoken it,
    // and two reels may stop 50 ms apart: the draw's focus moves are spaced, in their order.
    static constexpr int kFocusSpacingMs = 300;
    void moveDrawFocus(PictureControl* control);
    void moveQueuedDrawFocus();
    void giveDrawFocus(PictureControl* control);
    void drawFocusLeftSwitch(int k);
    std::unique_ptr<Timer> m_focusSpacing;
    QList<PictureControl*> m_focusQueue;
    bool m_commandRunning = false;  // a save or a print is waiting, the window served meanwhile
    QPixmap m_picture1;

    QWidget* m_inside = nullptr;
    std::array<PictureControl*, Sheet::kCells> m_imageWin{};
    std::array<PictureControl*, Sheet::kBlocks> m_imageSwitch{};
    std::array<QLabel*, Sheet::kBlocks> m_labelStat{};
    std::array<GroupFrame*, Sheet::kBlocks> m_frameBlock{};
    std::array<QRadioButton*, 3> m_optionPrn{};
    QLabel* m_label1 = nullptr;
    QLabel* m_labelDateTime = nullptr;
    QLabel* m_labelFileName = nullptr;
    QPushButton* m_commandSave = nullptr;
    QPushButton* m_commandClr = nullptr;
    QPushButton* m_commandSort = nullptr;
    QPushButton* m_commandPrn = nullptr;
};
