// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "model/random.h"
#include "print/platform.h"

class Beeper;

// The real system.
class SystemPlatform : public Platform {
public:
    SystemPlatform();
    ~SystemPlatform() override;
    // Connects to the sound server ahead of the first beep (on a worker: never blocks).
    void prepareBeep();

    QDateTime now() override;
    qint32 tickCount() override;
    void beep() override;
    void reseedRandom() override;
    float nextRandom() override;
    QByteArray programFolder() override;
    QString documentsFolder() override;
    QString installFolder() override;
    printqueue::DefaultPrinter defaultPrinter() override;
    void showMessage(QWidget* parent, NoteKind kind, const QString& text) override;

private:
    RandomGenerator m_random;
    std::unique_ptr<Beeper> m_beeper;
};
