// SPDX-License-Identifier: MIT
#include "draw/blockdraw.h"

#include <algorithm>

#include "draw/candidate.h"
#include "model/coreplatform.h"
#include "model/tavomodel.h"
#include "model/timeformat.h"
#include "model/waitms.h"

BlockDraw::BlockDraw(TavoModel& model, CorePlatform& platform)
    : m_timerDummy(platform.createTimer()),
      m_timerFlick(platform.createTimer()),
      TimerDummy(*m_timerDummy),
      TimerFlick(*m_timerFlick),
      m_model(model),
      m_platform(platform) {
    connect(&TimerDummy, &Timer::timeout, this, &BlockDraw::TimerDummy_Timer);
    connect(&TimerFlick, &Timer::timeout, this, &BlockDraw::TimerFlick_Timer);
}

void BlockDraw::stopTimers() {
    TimerDummy.stop();
    TimerFlick.stop();
}

void BlockDraw::ImageSwitch_Click(int Index) {
    TavoModel& m = m_model;
    if (m.ActiveBlock == 0) {
        m.ActiveBlock = Index + 1;
        m.ArmedBlock = m.ActiveBlock;
        m.setSwitchPicture(Index, PictureId::Push);
        m.setPhase(Index, TavoModel::Phase::Pressed);
        m.sheet().LabelFN.at(static_cast<std::size_t>(Index)) = clockText(m.CurrentTime);
        WaitMs(300, m_platform);
        if (abandoned()) {
            return;
        }
        m.setSwitchPicture(Index, PictureId::Stop);
        m.setPhase(Index, TavoModel::Phase::Armed);
        DrawBlock();
    } else if (m.ArmedBlock - 1 == Index) {
        m.ArmedBlock = 0;
    }
}

void BlockDraw::DrawBlock() {
    TavoModel& m = m_model;
    Sheet& sheet = m.sheet();

    std::array<int, 7> Drawn{};  // by position 1..6
    sheet.LabelS.fill(QStringLiteral("  "));
    m.StopTarget = 0;
    m.ReelFace = 0;
    m.FirstSpinningReel = 0;
    if (m.SheetStamped == 0) {
        m.SheetStamped = 1;
        m.setSheetStamp(sheetStampText(m.CurrentTime));
        sheet.LabelFileName0 = sheetFileName(m.CurrentTime);
    }
    TimerDummy.start(50);
    m_platform.dispatchEvents(false);
    m_platform.reseedRandom();
    m_platform.beep();
    emit blockArmed(m.ActiveBlock);

    waitWhile([&m] { return m.ArmedBlock != 0; }, m_platform);
    if (abandoned()) {
        return;
    }
    m_platform.beep();
    m.FlickPhase = 0;
    const int block = m.ActiveBlock - 1;
    m.setPhase(block, TavoModel::Phase::Drawing);
    TimerFlick.start(500);

    for (m.BallIndex = 1; m.BallIndex <= 6; ++m.BallIndex) {
        const int ball = m.BallIndex;
        int n = 0;
        for (;;) {
            const int ms = tickMillis(m_platform.tickCount());
            n = candidateNumber(candidateBase(m.CurrentTime, ms), m_platform.nextRandom());
            Drawn.at(static_cast<std::size_t>(ball)) = n;
            if (std::find(Drawn.begin() + 1, Drawn.begin() + ball, n) == Drawn.begin() + ball) {
                break;
            }
            WaitMs(static_cast<qint16>(ms), m_platform);
            if (abandoned()) {
                return;
            }
        }
        m.StopTarget = n;
        waitWhile([&m] { return m.StopTarget != 0; }, m_platform);
        if (abandoned()) {
            return;
        }
        const QString text = QString::number(n);
        sheet.LabelS.at(static_cast<std::size_t>(ball - 1)) = text;
        sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(block, ball - 1))) = text;
        m_platform.beep();
        emit numberDrawn(block + 1, ball, n);
    }

    TimerFlick.stop();
    WaitMs(500, m_platform);
    if (abandoned()) {
        return;
    }
    m.setSwitchPicture(block, PictureId::Start);
    m.setPhase(block, TavoModel::Phase::Ready);
    m_platform.beep();
    TimerDummy.stop();
    m.ActiveBlock = 0;
    emit drawFinished(block + 1);
}

bool BlockDraw::abandoned() {
    if (!m_platform.waitsCancelled()) {
        return false;
    }
    stopTimers();
    return true;
}

void BlockDraw::TimerDummy_Timer() {
    TavoModel& m = m_model;
    m.ReelFace = m.ReelFace % 43 + 1;
    m.sheet().ImageDummyFace = m.ReelFace;
    if (m.ActiveBlock != 0) {
        for (int k = m.FirstSpinningReel; k <= 5; ++k) {
            m.setReelPicture(Sheet::cell(m.ActiveBlock - 1, k), faceId(m.ReelFace));
        }
        if (m.ReelFace == m.StopTarget) {
            ++m.FirstSpinningReel;
            m.StopTarget = 0;
            if (m.FirstSpinningReel == 6) {
                TimerDummy.stop();
            }
        }
    }
}

void BlockDraw::TimerFlick_Timer() {
    // Runs only inside a draw: the lamp timer is stopped before ActiveBlock returns to 0.
    TavoModel& m = m_model;
    m.setSwitchPicture(m.ActiveBlock - 1,
                       m.FlickPhase == 0 ? PictureId::BusyDark : PictureId::BusyLit);
    m.FlickPhase = 1 - m.FlickPhase;
}
