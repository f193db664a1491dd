// SPDX-License-Identifier: MIT
#include "platform/textfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/coreplatform.h"

namespace {

void appendEncoded(QByteArray& out, const QString& line) {
    out.reserve(out.size() + line.size() + 2);
    for (const QChar c : line) {
        // The files are plain ASCII; anything else would be read differently by every reader.
        out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
    }
    out.append("\r\n", 2);
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why a file of this type cannot hold our lines; empty for a regular file.
QString notRegularReason(mode_t mode) {
    if (S_ISREG(mode)) {
        return QString();
    }
    if (S_ISDIR(mode)) {
        return systemError(EISDIR);
    }
    const char* kind = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "not a file";
    return QStringLiteral("not a regular file (%1)").arg(QLatin1String(kind));
}

// The same for whatever the path leads to; empty when it is a regular file or nothing yet.
// Opening a FIFO for writing would wait for a reader, so this is asked before any open.
QString notRegularAtPath(const QByteArray& native) {
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        return QString();
    }
    return notRegularReason(st.st_mode);
}

qint64 ageMs(const struct stat& st) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<qint64>(now.tv_sec) - st.st_mtim.tv_sec) * 1000 +
           (now.tv_nsec - st.st_mtim.tv_nsec) / 1000000;
}

// Writes all of bytes unless the system refuses; returns how many went in, and the reason when
// not all did. A disk that fills part-way takes part of a write without an error; the next
// write of the rest then names the cause.
qint64 writeAll(int fd, const QByteArray& bytes, QString& reason) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            reason = systemError(errno);
            break;
        }
        if (n == 0) {
            reason = QStringLiteral("only %1 of %2 bytes written").arg(done).arg(bytes.size());
            break;
        }
        done += n;
    }
    return done;
}

}  // namespace

TextFile::TextFile(const QString& path, Mode mode) : m_path(path), m_mode(mode) {
    const QByteArray native = QFile::encodeName(m_path);
    if (const QString why = notRegularAtPath(native); !why.isEmpty()) {
        fail(m_mode == Mode::AppendOrCreate ? QStringLiteral("cannot open for appending")
                                            : QStringLiteral("cannot create"),
             why);
        return;
    }
    if (m_mode == Mode::AppendOrCreate) {
        // Non-blocking open, so a FIFO that took the file's place since the check above makes
        // the open fail or return at once instead of waiting for a reader.
        m_fd = ::open(native.constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            fail(QStringLiteral("cannot open for appending"), systemError(errno));
            return;
        }
        struct stat st {};
        const QString why =
            ::fstat(m_fd, &st) != 0 ? systemError(errno) : notRegularReason(st.st_mode);
        if (!why.isEmpty()) {
            ::close(m_fd);
            m_fd = -1;
            fail(QStringLiteral("cannot open for appending"), why);
            return;
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        m_open = true;
    } else {
        removeStaleCopies(m_path);
        m_replacement = std::make_unique<QSaveFile>(m_path);
        m_open = m_replacement->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!m_open) {
            fail(QStringLiteral("cannot create"), m_replacement->errorString());
            return;
        }
        // Held until the replacement is in place, so another instance's clean-up can tell
        // this copy from one an interrupted save left behind.
        ::flock(m_replacement->handle(), LOCK_EX | LOCK_NB);
    }
}

TextFile::~TextFile() {
    if (m_replacement && m_replacement->isOpen()) {
        m_replacement->cancelWriting();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void TextFile::writeLine(const QString& line) {
    if (m_open) {
        appendEncoded(m_pending, line);
    }
}

bool TextFile::close() {
    if (!m_open) {
        return false;
    }
    m_open = false;
    const bool ok = m_mode == Mode::AppendOrCreate ? closeAppend() : closeReplace();
    m_pending.clear();
    return ok;
}

bool TextFile::closeAppend() {
    bool ok = true;
    // Both sides of the append and of its cut-back are ours: another instance that appends
    // meanwhile waits, so the cut-back below can never take its lines with ours.
    const qint64 deadline = bootTimeMs() + kLockWaitMs;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || bootTimeMs() >= deadline) {
            fail(QStringLiteral("cannot lock"), errno == EWOULDBLOCK
                                                    ? QStringLiteral("held by another program")
                                                    : systemError(errno));
            ok = false;
            break;
        }
        ::usleep(5000);
    }
    if (ok && !m_pending.isEmpty()) {
        struct stat st {};
        ::fstat(m_fd, &st);
        const qint64 start = st.st_size;
        QString reason;
        const qint64 written = writeAll(m_fd, m_pending, reason);
        if (written != m_pending.size()) {
            // The log must not keep part of this save; only what this save wrote goes.
            ::fstat(m_fd, &st);
            if (st.st_size == start + written) {
                if (::ftruncate(m_fd, start) != 0) {
                    fail(QStringLiteral("cannot cut back to %1 bytes").arg(start),
                         systemError(errno));
                }
            } else {
                fail(QStringLiteral("not cut back (changed by another program)"),
                     QStringLiteral("%1 bytes of this save stay").arg(written));
            }
            fail(QStringLiteral("cannot append"), reason);
            ok = false;
        }
    }
    // The save counts as done only once its lines are on disk.
    if (ok && ::fsync(m_fd) != 0) {
        fail(QStringLiteral("cannot sync"), systemError(errno));
        ok = false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && ok) {
        fail(QStringLiteral("cannot close"), systemError(errno));
        ok = false;
    }
    return ok;
}

bool TextFile::closeReplace() {
    QString reason;
    const qint64 written = writeAll(m_replacement->handle(), m_pending, reason);
    if (written != m_pending.size()) {
        fail(QStringLiteral("cannot write"), reason);
        // commit() would still put the short file in place of the good one.
        m_replacement->cancelWriting();
        m_replacement->commit();
        return false;
    }
    if (!m_replacement->commit()) {
        fail(QStringLiteral("cannot replace"), m_replacement->errorString());
        return false;
    }
    return true;
}

void TextFile::fail(const QString& what, const QString& reason) {
    m_error = reason;
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3").arg(what, m_path, reason);
}

QByteArray TextFile::encode(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        appendEncoded(out, line);
    }
    return out;
}

int TextFile::removeStaleCopies(const QString& path) {
    const QFileInfo info(path);
    const QDir folder = info.dir();
    // The name QSaveFile gives the copy it renames over the file.
    const QRegularExpression copyName(QLatin1Char('^') +
                                      QRegularExpression::escape(info.fileName()) +
                                      QStringLiteral("\\.[A-Za-z0-9]{6}$"));
    int removed = 0;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!copyName.match(name).hasMatch()) {
            continue;
        }
        const QByteArray native = QFile::encodeName(folder.filePath(name));
        const int fd =
            ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        // A copy another instance is writing is locked by it, and fresh while it is being made.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ageMs(st) >= kStaleCopyAgeMs &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(native.constData()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
}
