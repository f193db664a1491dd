// SPDX-License-Identifier: MIT
#include "app/systemplatform.h"

#include <pwd.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <utility>
#include <vector>

#include "app/beeper.h"
#include "app/windowframe.h"
#include "model/tavomodel.h"
#include "results/resultsfolder.h"

namespace {

// The account's home as the password database records it; empty where it has none.
QString accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_dir != nullptr ? QFile::decodeName(found->pw_dir)
                                                        : QString();
}

// The documents folder, and the ones passed over on the way.
std::pair<QString, QList<UnusableFolder>> chosenDocumentsFolder() {
    const QString home = qEnvironmentVariable("HOME");
    // Qt reads the desktop's own name for the folder, under HOME (and takes "/" without it).
    const QString homeDocuments =
        QDir::isAbsolutePath(home)
            ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
            : home + QStringLiteral("/Documents");
    QList<UnusableFolder> passedOver;
    return {chooseDocumentsFolder(home, homeDocuments, accountHome(), &passedOver), passedOver};
}

const char* const kKeepFree = "tavoKeepFreeOfNotes";

// A message box that takes its place beside its window when its size is known (a message box
// sizes itself to its text as it is shown) and before it is on screen, where the platform lets
// the program place windows (natively on Wayland the compositor places a note by its window).
class Note : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        QWidget* window = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
        if (window == nullptr || !window->isVisible() || window->screen() == nullptr ||
            QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
            return;
        }
        const QRect frame = window->frameGeometry();
        const QRect inside = window->geometry();
        // The note's frame will be as wide as its window's: the same window manager draws both.
        const QMargins margins(inside.left() - frame.left(), inside.top() - frame.top(),
                               frame.right() - inside.right(), frame.bottom() - inside.bottom());
        QList<QRect> keepFree;
        for (const QWidget* control : window->findChildren<QWidget*>()) {
            if (control->property(kKeepFree).toBool() && control->isVisible()) {
                keepFree.append(QRect(control->mapToGlobal(QPoint(0, 0)), control->size()));
            }
        }
        const QPoint at = notePosition(size().grownBy(margins), frame, keepFree,
                                       window->screen()->availableGeometry());
        // A move places the frame's corner, but a window not yet framed by the window manager is
        // placed by its inside's.
        const QMargins known =
            windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
        move(known.isNull() ? at + QPoint(margins.left(), margins.top()) : at);
    }
};

}  // namespace

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

QByteArray SystemPlatform::programFolder() {
    // The link's own bytes: a name that is not valid in the locale's encoding would not survive
    // a round trip through text.
    std::error_code failed;
    QByteArray target =
        QByteArray::fromStdString(std::filesystem::read_symlink("/proc/self/exe", failed).native());
    if (failed) {
        return QFile::encodeName(QCoreApplication::applicationDirPath());
    }
    // A program replaced while it runs (an upgrade) still names its folder.
    target.chop(target.endsWith(" (deleted)") ? 10 : 0);
    const qsizetype slash = target.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : target.left(slash);
}

QString SystemPlatform::documentsFolder() {
    return chosenDocumentsFolder().first;
}

QList<UnusableFolder> SystemPlatform::documentsPassedOver() {
    return chosenDocumentsFolder().second;
}

QString SystemPlatform::installFolder() {
    return QStringLiteral(TAVO_INSTALL_BINDIR);
}

void keepFreeOfNotes(QWidget* control) {
    control->setProperty(kKeepFree, true);
}

QPoint notePosition(const QSize& note, const QRect& windowFrame, const QList<QRect>& keepFree,
                    const QRect& screen) {
    const QRect& w = windowFrame;
    const QPoint candidates[] = {
        {w.right() + 1, w.top()},             // to the right, the tops in line
        {w.left() - note.width(), w.top()},   // to the left
        {w.left(), w.bottom() + 1},           // below
        {w.left(), w.top() - note.height()},  // above
        w.center() - QPoint(note.width() / 2, note.height() / 2),
    };
    // The first that fits where it is asked for and covers nothing; else the one that covers
    // least, moved onto the screen.
    QPoint best = candidates[0];
    std::pair<qint64, bool> leastCovered{std::numeric_limits<qint64>::max(), true};
    for (const QPoint& at : candidates) {
        QRect r(at, note);
        r.moveLeft(std::max(screen.left(), std::min(r.left(), screen.right() - r.width() + 1)));
        r.moveTop(std::max(screen.top(), std::min(r.top(), screen.bottom() - r.height() + 1)));
        qint64 covered = 0;
        for (const QRect& control : keepFree) {
            const QRect both = r.intersected(control);
            covered += static_cast<qint64>(both.width()) * both.height();
        }
        const std::pair<qint64, bool> cost{covered, r.topLeft() != at};
        if (cost < leastCovered) {
            leastCovered = cost;
            best = r.topLeft();
        }
    }
    return best;
}

void SystemPlatform::showMessage(QWidget* parent, NoteKind kind, const QString& text) {
    // One note of a kind at a time, so notes never pile up however often a save or a print
    // repeats one: the same note again leaves the open one as it is, another takes its place.
    QPointer<QMessageBox>& open = m_notes.at(static_cast<std::size_t>(kind));
    if (open && open->isVisible()) {
        if (open->text() == text && open->parentWidget() == parent) {
            open->raise();
            return;
        }
        open->close();
    }
    // The icon tells what the note is, to the eye and to a screen reader alike.
    const QMessageBox::Icon icon =
        kind == NoteKind::Warning ? QMessageBox::Warning : QMessageBox::Information;
    auto* box = new Note(icon, TavoModel::title(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal, not even to the window: the user may go on working, or close the window.
    box->setWindowModality(Qt::NonModal);
    frameNote(box);
    open = box;
    box->show();
}
