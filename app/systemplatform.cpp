// SPDX-License-Identifier: MIT
#include "app/systemplatform.h"

#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>

#include "app/beeper.h"
#include "app/windowframe.h"
#include "model/tavomodel.h"

QDateTime SystemPlatform::now() {
    return QDateTime::currentDateTime();
}

qint32 SystemPlatform::tickCount() {
    // The low 32 bits, reinterpreted as signed, as a 32-bit tick counter reads.
    return static_cast<qint32>(static_cast<quint32>(bootTimeMs()));
}

SystemPlatform::SystemPlatform() = default;
SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::prepareBeep() {
    if (!m_beeper) {
        m_beeper = std::make_unique<Beeper>(makeSystemBeepPlayer(), [] { QApplication::beep(); });
    }
}

void SystemPlatform::beep() {
    prepareBeep();
    m_beeper->beep();
}

void SystemPlatform::reseedRandom() {
    const auto ms = static_cast<quint64>(QDateTime::currentMSecsSinceEpoch());
    m_random.seed(static_cast<std::uint32_t>(ms ^ (ms >> 32)));
}

float SystemPlatform::nextRandom() {
    return m_random.next();
}

QByteArray SystemPlatform::programFolder() {
    // The link's own bytes: a name that is not valid in the locale's encoding would not survive
    // a round trip through text.
    QByteArray target(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
        if (n < 0) {
            return QFile::encodeName(QCoreApplication::applicationDirPath());
        }
        if (n < target.size()) {
            target.truncate(n);
            break;
        }
        target.resize(target.size() * 2);
    }
    // A program replaced while it runs (an upgrade) still names its folder.
    if (target.endsWith(" (deleted)")) {
        target.chop(10);
    }
    const qsizetype slash = target.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : target.left(slash);
}

QString SystemPlatform::documentsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString SystemPlatform::installFolder() {
    return QStringLiteral(TAVO_INSTALL_BINDIR);
}

printqueue::DefaultPrinter SystemPlatform::defaultPrinter() {
    return printqueue::defaultPrinter(*this);
}

void SystemPlatform::showMessage(QWidget* parent, NoteKind kind, const QString& text) {
    // The icon tells what the note is, to the eye and to a screen reader alike.
    const QMessageBox::Icon icon =
        kind == NoteKind::Warning ? QMessageBox::Warning : QMessageBox::Information;
    auto* box = new QMessageBox(icon, TavoModel::title(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal, not even to the window: the user may go on working, or close the window.
    box->setWindowModality(Qt::NonModal);
    frameNote(box);
    box->show();
}
