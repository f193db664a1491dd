// SPDX-License-Identifier: MIT
#pragma once

// The one window, "Tavo V1.1". TavoModel holds all it shows; the rules (draw/, results/, print/)
// change the model, and the window draws it and forwards clicks to them. A draw: the first press
// on a switch arms its block and runs the whole draw inside that click, in loops that serve
// events; the reels spin on the reel timer, the second press releases them, and each number
// stops the leftmost spinning reel. While a draw, a save or a print runs, the commands and the
// other switches do nothing.

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
    // What holds the controls: the window, or natively on Wayland the panel below its title bar.
    QWidget* inside() const { return m_inside; }

    TavoModel& model() { return m_model; }
    const TavoModel& model() const { return m_model; }
    Sheet& sheet() { return m_model.sheet(); }
    const Sheet& sheet() const { return m_model.sheet(); }
    QPixmap& Picture1() { return m_picture1; }

    // Sizes a label to its caption, its top-left corner kept.
    static void setAutoSizeCaption(QLabel* label, const QString& text);
    PrintMode selectedPrintMode() const;

    void Form_Load();
    void CommandClr_Click();
    void ClearSheet();
    void CommandSort_Click();
    void CommandSave_Click();
    void CommandPrn_Click();

    // A draw started from the keyboard takes the focus along, so a screen reader speaks it.
    void pressSwitch(int k, bool fromKeyboard);

    // What assistive technology hears of the draw, and of the sheet set at once.
    void announceArmed(int block);
    void announceNumber(int block, int position, int number);
    void announceFinished(int block);
    void announceSheet();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    void buildControls();
    void buildCommands(QWidget* frameData, QWidget* framePrn);
    void buildBlock(int k, const QFont& statusFont, const QFont& letterFont);
    // A draw, a save or a print is in progress.
    bool busy() const;
    // A save or a print, unless busy; whether it ran.
    bool runWaitingCommand(const std::function<void()>& command);
    // Every switch but the drawing one, and the commands.
    void setCommandsAvailable(bool available, int drawing);
    QString resultText(int k) const;
    void connectSignals();
    void showReel(int i);
    void showSwitch(int k);
    void showPhase(int k);

    Platform& m_platform;
    std::unique_ptr<Pictures> m_pictures;
    TavoModel m_model;
    std::unique_ptr<BlockDraw> m_draw;
    std::unique_ptr<Timer> m_timer1;
    bool m_focusFollowsDraw = false;
    // A screen reader drops a focus move overtaken before it spoke, and reels stop 50 ms apart.
    static constexpr int kFocusSpacingMs = 300;
    void moveDrawFocus(PictureControl* control);
    void giveDrawFocus(PictureControl* control);
    void drawFocusLeftSwitch(int k);
    std::unique_ptr<Timer> m_focusSpacing;
    QList<PictureControl*> m_focusQueue;
    bool m_commandRunning = false;
    QPixmap m_picture1;

    QWidget* m_inside = nullptr;
    std::array<PictureControl*, Sheet::kCells> m_imageWin{};
    std::array<PictureControl*, Sheet::kBlocks> m_imageSwitch{};
    std::array<QLabel*, Sheet::kBlocks> m_labelStat{};
    std::array<GroupFrame*, Sheet::kBlocks> m_frameBlock{};
    std::array<QRadioButton*, 3> m_optionPrn{};
    QLabel* m_labelDateTime = nullptr;
    QLabel* m_labelFileName = nullptr;
    QPushButton* m_commandSave = nullptr;
    QPushButton* m_commandClr = nullptr;
    QPushButton* m_commandSort = nullptr;
    QPushButton* m_commandPrn = nullptr;
};
