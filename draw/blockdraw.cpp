// SPDX-License-Identifier: MIT
#include "draw/blockdraw.h"

#include <QLabel>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "app/timeformat.h"
#include "draw/candidate.h"
#include "platform/platform.h"
#include "platform/waitms.h"

namespace {

// Colours as the status labels take them.
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 192, 0);
const QColor kBlue(0, 0, 255);

}  // namespace

BlockDraw::BlockDraw(MainWindow& window) : m_window(window) {
    TimerDummy.setTimerType(Qt::PreciseTimer);
    TimerFlick.setTimerType(Qt::PreciseTimer);
    connect(&TimerDummy, &QTimer::timeout, this, &BlockDraw::TimerDummy_Timer);
    connect(&TimerFlick, &QTimer::timeout, this, &BlockDraw::TimerFlick_Timer);
}

void BlockDraw::ImageSwitch_Click(int Index) {
    if (ActiveBlock == 0) {
        ActiveBlock = Index + 1;
        ArmedBlock = ActiveBlock;
        m_window.ImageSwitch(Index)->showPicture(m_window.pictures().push());
        m_window.sheet().LabelFN.at(static_cast<std::size_t>(Index)) =
            clockText(m_window.CurrentTime);
        WaitMs(300, [this] { return m_window.platform().tickCount(); });
        if (waitsCancelled()) {
            return;
        }
        m_window.ImageSwitch(Index)->showPicture(m_window.pictures().stop());
        m_window.setStatus(Index, QStringLiteral("停止"), kRed);
        DrawBlock();
    } else if (ArmedBlock - 1 == Index) {
        ArmedBlock = 0;
    }
}

void BlockDraw::DrawBlock() {
    Platform& platform = m_window.platform();
    Sheet& sheet = m_window.sheet();
    const TickSource ticks = [&platform] { return platform.tickCount(); };
    // The window is closing: leave at once, with the timers stopped.
    auto abandoned = [this] {
        if (!waitsCancelled()) {
            return false;
        }
        TimerDummy.stop();
        TimerFlick.stop();
        return true;
    };

    std::array<int, 7> Drawn{};  // by position 1..6
    for (QString& cell : sheet.LabelS) {
        cell = QStringLiteral("  ");
    }
    StopTarget = 0;
    ReelFace = 0;
    FirstSpinningReel = 0;
    if (SheetStamped == 0) {
        SheetStamped = 1;
        MainWindow::setAutoSizeCaption(m_window.LabelFileName(),
                                       sheetStampText(m_window.CurrentTime));
        sheet.LabelFileName0 = sheetFileName(m_window.CurrentTime);
    }
    TimerDummy.setInterval(50);
    TimerDummy.start();
    emit blockArmed(ActiveBlock);
    dispatchPendingEvents();
    platform.reseedRandom();
    platform.beep();

    waitWhile([this] { return ArmedBlock != 0; });
    if (abandoned()) {
        return;
    }
    platform.beep();
    FlickPhase = 0;
    const int block = ActiveBlock - 1;
    m_window.setStatus(block, QStringLiteral("動作中"), kGreen);
    TimerFlick.setInterval(500);
    TimerFlick.start();

    for (BallIndex = 1; BallIndex <= 6; ++BallIndex) {
        int n = 0;
        for (;;) {
            const int m = tickMillis(platform.tickCount());
            n = candidateNumber(candidateBase(m_window.CurrentTime, m), platform.nextRandom());
            Drawn.at(static_cast<std::size_t>(BallIndex)) = n;
            bool repeat = false;
            for (int k = 1; k < BallIndex; ++k) {
                repeat = repeat || Drawn.at(static_cast<std::size_t>(k)) == n;
            }
            if (!repeat) {
                break;
            }
            WaitMs(static_cast<qint16>(m), ticks);
            if (abandoned()) {
                return;
            }
        }
        StopTarget = n;
        waitWhile([this] { return StopTarget != 0; });
        if (abandoned()) {
            return;
        }
        const QString text = QString::number(n);
        sheet.LabelS.at(static_cast<std::size_t>(BallIndex - 1)) = text;
        sheet.LabelData.at(static_cast<std::size_t>(Sheet::cell(block, BallIndex - 1))) = text;
        platform.beep();
        emit numberDrawn(block + 1, BallIndex, n);
    }

    TimerFlick.stop();
    WaitMs(500, ticks);
    if (abandoned()) {
        return;
    }
    m_window.ImageSwitch(block)->showPicture(m_window.pictures().start());
    m_window.setStatus(block, QStringLiteral("開始"), kBlue);
    platform.beep();
    TimerDummy.stop();
    ActiveBlock = 0;
    emit drawFinished(block + 1);
}

void BlockDraw::TimerDummy_Timer() {
    ReelFace = ReelFace + 1;
    if (ReelFace > 43) {
        ReelFace = 1;
    }
    m_window.sheet().ImageDummyFace = ReelFace;
    if (ActiveBlock != 0) {
        const Picture& face = m_window.pictures().face(ReelFace);
        for (int k = FirstSpinningReel; k <= 5; ++k) {
            m_window.ImageWin(Sheet::cell(ActiveBlock - 1, k))->showPicture(face);
        }
        if (ReelFace == StopTarget) {
            FirstSpinningReel = FirstSpinningReel + 1;
            StopTarget = 0;
            if (FirstSpinningReel == 6) {
                TimerDummy.stop();
            }
        }
    }
}

void BlockDraw::TimerFlick_Timer() {
    // The lamp runs only inside a draw; a stray tick with no block must not index switch -1.
    if (ActiveBlock == 0) {
        return;
    }
    PictureControl* sw = m_window.ImageSwitch(ActiveBlock - 1);
    if (FlickPhase == 0) {
        sw->showPicture(m_window.pictures().busyDark());
        FlickPhase = 1;
    } else {
        sw->showPicture(m_window.pictures().busyLit());
        FlickPhase = 0;
    }
}
