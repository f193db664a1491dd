// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>
#include <array>

class MainWindow;

// The two-press draw of a block and the timers that animate it: the reel timer TimerDummy (50 ms)
// spins the active block's reels and stops the leftmost one on StopTarget; the lamp timer
// TimerFlick (500 ms) flashes the busy lamp. The handshake fields are plain members: each is
// written by a handler that runs inside one of the draw's waits, and read after it.
class BlockDraw : public QObject {
    Q_OBJECT
public:
    explicit BlockDraw(MainWindow& window);

    int ActiveBlock = 0;        // block being drawn, 1..5; 0 = no draw running
    int ArmedBlock = 0;         // block waiting for its second press; 0 = released
    qint16 BallIndex = 0;       // position being drawn, 1..6
    qint16 SheetStamped = 0;    // 1 once the sheet's stamp and file name are set
    int StopTarget = 0;         // number the leftmost spinning reel must stop on; 0 = none
    int ReelFace = 0;           // face shown by the spinning reels, 1..43 (0 before the first tick)
    int FirstSpinningReel = 0;  // leftmost spinning reel of the active block, 0..6
    int FlickPhase = 0;         // 0: the next lamp tick shows the dark lamp; 1: the lit one

    QTimer TimerDummy;
    QTimer TimerFlick;

    // Press on switch Index (0..4). A first press returns only when its draw has ended.
    void ImageSwitch_Click(int Index);
    void TimerDummy_Timer();
    void TimerFlick_Timer();

signals:
    // The block's reels have started spinning; the draw waits for its second press.
    void blockArmed(int block);
    // A number has stopped and stands in the sheet (position 1..6 of the active block).
    void numberDrawn(int block, int position, int number);
    // The block is idle again after its draw.
    void drawFinished(int block);

private:
    void DrawBlock();

    MainWindow& m_window;
};
