// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <memory>

#include "model/timer.h"

class CorePlatform;
class TavoModel;

// The two-press draw of a block and the timers that animate it: the reel timer TimerDummy (50 ms)
// spins the active block's reels and stops the leftmost one on StopTarget; the lamp timer
// TimerFlick (500 ms) flashes the busy lamp. The handshake fields are the model's form state:
// each is written by a handler that runs inside one of the draw's waits, and read after it.
class BlockDraw : public QObject {
    Q_OBJECT
public:
    BlockDraw(TavoModel& model, CorePlatform& platform);

private:
    std::unique_ptr<Timer> m_timerDummy;
    std::unique_ptr<Timer> m_timerFlick;

public:
    // Made by the platform, so a test can run them on its own clock.
    Timer& TimerDummy;
    Timer& TimerFlick;

    // Press on switch Index (0..4). A first press returns only when its draw has ended.
    void ImageSwitch_Click(int Index);
    void TimerDummy_Timer();
    void TimerFlick_Timer();
    // The window is closing: the timers stop (the platform ends the waits).
    void stopTimers();

signals:
    // The block (1..5) is armed: its reels spin and it waits for the second press.
    void blockArmed(int block);
    // A number has stopped and stands in the sheet (position 1..6 of the active block).
    void numberDrawn(int block, int position, int number);
    // The block is idle again after its draw.
    void drawFinished(int block);

private:
    void DrawBlock();
    // True when the window is closing (every wait was ended): the caller leaves at once, and
    // the timers are stopped.
    bool abandoned();

    TavoModel& m_model;
    CorePlatform& m_platform;
};
