// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QPrinter>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "model/random.h"
#include "print/platform.h"

class TavoModel;

// The first English word in a note meant for a reader of Japanese; empty when there is none.
// Paths and file names, "PDF", and the print server's own words quoted in 「」 do not count.
inline QString englishWordIn(const QString& note) {
    static const QRegularExpression quoted(QStringLiteral("「[^」]*」"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    QString text = note;
    text.remove(quoted);
    for (const QString& token : text.split(QRegularExpression(QStringLiteral("\\s+")))) {
        static const QRegularExpression fileName(QStringLiteral("\\.[A-Za-z]"));
        if (token.contains(QLatin1Char('/')) || token.contains(fileName)) {
            continue;  // a path or a file name
        }
        for (const auto& m : word.globalMatch(token)) {
            if (m.captured() != u"PDF") {
                return m.captured();
            }
        }
    }
    return QString();
}

// The system as a test fixes and watches it, reaching nothing real: a settable clock, a tick
// counter of its own, counted beeps, a seeded generator, folders of the test's choosing, a
// printer of the test's making and recorded messages. A test that needs a real part asks for it
// (printqueue::defaultPrinter for the print server) or uses SystemPlatform.
//
// Its draws end: one still running after drawLimitMs (a real one takes seconds), or whose reel has
// turned twice past the number it is to stop on, fails the test at once, saying what it waits
// for, and ends its waits, where a fault that keeps a draw from finishing would otherwise hang
// the test. Watched: the draws of the window made on this platform, or of watchDraw's model.
class FakePlatform : public Platform {
public:
    std::function<QDateTime()> clock;  // null: 9 March 2010, 14:05:07
    // The counter reads tickOffset at construction and then follows the real time, as the
    // window's timers do.
    qint64 tickOffset = 0;
    std::function<float()> random;  // null: a generator reseeded with the count of reseeds
    QString folder;                 // empty: a private folder, removed with the platform
    QString documents;              // empty: none
    QString installBin;             // empty: none, so the program is never the installed one
    std::function<std::unique_ptr<QPrinter>()> printer;  // null: no printer configured
    // Set: asked instead of printer (the system's own, through a print server).
    std::function<printqueue::DefaultPrinter()> serverPrinter;
    int beeps = 0;
    int reseeds = 0;
    QStringList messages;
    QList<NoteKind> messageKinds;    // one for each of messages
    qint64 drawLimitMs = 30 * 1000;  // a draw takes 1 to 14 s
    bool drawOverran = false;        // a watched draw ran past drawLimitMs (the test has failed)

    void watchDraw(const TavoModel& model) { m_watched = &model; }

    QDateTime now() override {
        return clock ? clock() : QDateTime(QDate(2010, 3, 9), QTime(14, 5, 7));
    }
    qint32 tickCount() override {
        return static_cast<qint32>(static_cast<quint32>(bootTimeMs() - m_born + tickOffset));
    }
    void beep() override { ++beeps; }
    void reseedRandom() override { m_random.seed(static_cast<std::uint32_t>(++reseeds)); }
    float nextRandom() override { return random ? random() : m_random.next(); }
    QByteArray programFolder() override {
        return QFile::encodeName(folder.isEmpty() ? m_folder.path() : folder);
    }
    QString documentsFolder() override { return documents; }
    QString installFolder() override { return installBin; }
    printqueue::DefaultPrinter defaultPrinter() override {
        if (serverPrinter) {
            return serverPrinter();
        }
        std::unique_ptr<QPrinter> made = printer ? printer() : nullptr;
        const auto state = made ? printqueue::State::Ok : printqueue::State::NoPrinter;
        return {{state, QString(), QString()}, std::move(made)};
    }
    // Every note a test makes is checked to be Japanese throughout.
    void showMessage(QWidget*, NoteKind kind, const QString& text) override {
        if (const QString english = englishWordIn(text); !english.isEmpty()) {
            QTest::qFail(
                qPrintable(QStringLiteral("English \"%1\" in the note: %2").arg(english, text)),
                __FILE__, __LINE__);
        }
        messages << text;
        messageKinds << kind;
    }
    void dispatchEvents(bool sleep) override {
        if (!drawOverdue(bootTimeMs())) {
            Platform::dispatchEvents(sleep);
        }
    }

protected:
    // True once a watched draw has run for longer than drawLimitMs up to now (the caller's
    // clock, in ms): the test has then failed, saying what the draw waits for and detail(), and
    // every wait has been ended.
    bool drawOverdue(qint64 now);
    virtual QString overrunDetail() const { return QString(); }

private:
    const qint64 m_born = bootTimeMs();
    RandomGenerator m_random;
    QTemporaryDir m_folder;
    const TavoModel* m_watched = nullptr;
    qint64 m_drawSince = -1;  // when the watched draw started; -1: none runs
    int m_stop = 0;           // the stop the draw waits for (number and reel), 0: none
    int m_face = 0;           // the face the reels showed at the last dispatch
    int m_facesTurned = 0;    // faces shown since that stop was asked for
};
