// SPDX-License-Identifier: MIT
#include "support/fakeplatform.h"

#include "app/mainwindow.h"
#include "model/tavomodel.h"
#include "model/waitms.h"

bool FakePlatform::drawOverdue(qint64 now) {
    if (drawOverran) {
        return true;
    }
    const auto* window = qobject_cast<const MainWindow*>(messageParent());
    const TavoModel* watched = m_watched != nullptr ? m_watched
                               : window != nullptr  ? &window->model()
                                                    : nullptr;
    if (watched == nullptr || watched->ActiveBlock == 0) {
        m_drawSince = -1;
        m_stop = 0;
        return false;
    }
    if (m_drawSince < 0) {
        m_drawSince = now;
    }
    const TavoModel& m = *watched;
    // A reel stops within one turn of its 43 faces: two turns past its number is a fault, told
    // at once.
    const int stop = m.StopTarget == 0 ? 0 : m.StopTarget * 8 + m.FirstSpinningReel;
    if (stop != m_stop) {
        m_stop = stop;
        m_facesTurned = 0;
    } else if (stop != 0 && m.ReelFace != m_face) {
        ++m_facesTurned;
    }
    m_face = m.ReelFace;
    const bool reelStuck = m_facesTurned > 2 * 43;
    if (!reelStuck && now - m_drawSince <= drawLimitMs) {
        return false;
    }
    QString waits;
    if (reelStuck) {
        waits = QStringLiteral("reel %1 to stop on %2, which it has passed twice (StopTarget %2)")
                    .arg(m.FirstSpinningReel + 1)
                    .arg(m.StopTarget);
    } else if (m.ArmedBlock != 0) {
        waits = QStringLiteral("the second press on its switch (ArmedBlock %1)").arg(m.ArmedBlock);
    } else if (m.StopTarget != 0) {
        waits = QStringLiteral("reel %1 to stop on %2 (StopTarget %2; the reels show %3)")
                    .arg(m.FirstSpinningReel + 1)
                    .arg(m.StopTarget)
                    .arg(m.ReelFace);
    } else {
        waits = QStringLiteral("the end of the draw (BallIndex %1)").arg(m.BallIndex);
    }
    QString what =
        QStringLiteral("block %1's draw %2 after %3 ms: it waits for %4")
            .arg(TavoModel::blockLetter(m.ActiveBlock - 1),
                 reelStuck ? QStringLiteral("is stuck") : QStringLiteral("has not finished"))
            .arg(now - m_drawSince)
            .arg(waits);
    if (const QString detail = overrunDetail(); !detail.isEmpty()) {
        what += QStringLiteral("; ") + detail;
    }
    drawOverran = true;
    cancelWaits();
    QTest::qFail(qPrintable(what), __FILE__, __LINE__);
    return true;
}
