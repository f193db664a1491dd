// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QList>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/platform.h"

// The system with the parts a test needs to fix or watch: a settable clock, a tick counter
// with an offset (to put it past 2^31), counted beeps, a seeded generator, a program folder of
// the test's choosing, a printer of the test's making and recorded messages.
class FakePlatform : public SystemPlatform {
public:
    std::function<QDateTime()> clock;  // null: the real clock
    qint64 tickOffset = 0;             // added to the real boot-time milliseconds
    std::function<float()> random;     // null: the real generator, reseeded as usual
    QString folder;                    // empty: the real program folder
    QString documents;                 // empty: the real documents folder
    QString installBin;                // empty: the real installation's binary folder
    std::function<std::unique_ptr<QPrinter>()> printer;  // null: no printer configured
    int beeps = 0;
    int reseeds = 0;
    QStringList messages;
    QList<NoteKind> messageKinds;  // one for each of messages

    QDateTime now() override { return clock ? clock() : SystemPlatform::now(); }
    qint32 tickCount() override {
        return static_cast<qint32>(static_cast<quint32>(bootTimeMs() + tickOffset));
    }
    void beep() override { ++beeps; }
    void reseedRandom() override {
        ++reseeds;
        SystemPlatform::reseedRandom();
    }
    float nextRandom() override { return random ? random() : SystemPlatform::nextRandom(); }
    QString programFolder() override {
        return folder.isEmpty() ? SystemPlatform::programFolder() : folder;
    }
    QString documentsFolder() override {
        return documents.isEmpty() ? SystemPlatform::documentsFolder() : documents;
    }
    QString installFolder() override {
        return installBin.isEmpty() ? SystemPlatform::installFolder() : installBin;
    }
    std::unique_ptr<QPrinter> defaultPrinter() override { return printer ? printer() : nullptr; }
    void showMessage(QWidget*, NoteKind kind, const QString& text) override {
        messages << text;
        messageKinds << kind;
    }
};
