// SPDX-License-Identifier: MIT
#include "results/textfile.h"

#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "model/coreplatform.h"
#include "model/waitms.h"

namespace {

// A file-size limit (a quota) then fails the write that crosses it, like a full disk, where the
// signal would end the program in the middle of a save. Set before main() runs, wherever the
// writer is linked, so nothing that starts up first (Qt's, the display's or the font cache's
// files) can be ended by it either.
[[maybe_unused]] const bool kFileSizeSignalIgnored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;

void appendEncoded(QByteArray& out, const QString& line) {
    out.reserve(out.size() + line.size() + 2);
    for (const QChar c : line) {
        // The files are plain ASCII; anything else would be read differently by every reader.
        out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
    }
    out.append("\r\n", 2);
}

// Why a file of this type cannot hold our lines; empty for a regular file or nothing at all.
QString notRegularReason(mode_t mode) {
    if (S_ISREG(mode)) {
        return QString();
    }
    if (S_ISDIR(mode)) {
        return fileErrorText(EISDIR);
    }
    if (S_ISLNK(mode)) {
        return fileErrorText(ELOOP);
    }
    const char* kind = S_ISFIFO(mode)                   ? "名前付きパイプ"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "デバイス"
                       : S_ISSOCK(mode)                 ? "ソケット"
                                                        : "特殊なファイル";
    return QStringLiteral("通常のファイルではありません（%1）").arg(QString::fromUtf8(kind));
}

// The same for what the path itself is, a link not followed. Opening a FIFO for writing would
// wait for a reader, and a link would lead elsewhere, so this is asked before any open.
QString notRegularAtPath(const QByteArray& native, bool* exists = nullptr) {
    struct stat st {};
    const bool there = ::lstat(native.constData(), &st) == 0;
    if (exists != nullptr) {
        *exists = there;
    }
    return there ? notRegularReason(st.st_mode) : QString();
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
            reason = fileErrorText(errno);
            break;
        }
        if (n == 0) {
            reason = QStringLiteral("一部しか書き込めませんでした（%1 / %2 バイト）")
                         .arg(done)
                         .arg(bytes.size());
            break;
        }
        done += n;
    }
    return done;
}

// The permission bits a new file gets from this process.
mode_t newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return 0666 & ~static_cast<mode_t>(mask);
                }
            }
        }
    }
    return 0644;
}

TextFile::FileId idFrom(const struct stat& st) {
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

}  // namespace

QString fileErrorText(int error) {
    switch (error) {
        case ENOENT:
            return QStringLiteral("フォルダーがありません");
        case ENOTDIR:
            return QStringLiteral("途中のフォルダーがフォルダーではありません");
        case EACCES:
            return QStringLiteral("書き込む権限がありません");
        case EPERM:
            return QStringLiteral("書き込みが許可されていません");
        case EROFS:
            return QStringLiteral("読み取り専用の場所です");
        case ENOSPC:
            return QStringLiteral("ディスクがいっぱいです");
        case EDQUOT:
            return QStringLiteral("ディスクの使用量の上限に達しました");
        case EFBIG:
            return QStringLiteral("ファイルの大きさの上限に達しました");
        case EEXIST:
            return QStringLiteral("同じ名前のファイルがあります");
        case EISDIR:
            return QStringLiteral("同じ名前のフォルダーがあります");
        case ELOOP:
            return QStringLiteral("シンボリックリンクです（リンク先には書き込みません）");
        case EBUSY:
            return QStringLiteral("使用中です");
        case EWOULDBLOCK:
            return QStringLiteral("ほかのプログラムが使用中です（ロックされています）");
        case EIO:
            return QStringLiteral("ディスクの読み書きでエラーが起きました");
        case ENAMETOOLONG:
            return QStringLiteral("名前が長すぎます");
        default:
            break;
    }
    // Rare causes: the C library's own Japanese text where the system has it.
    QString text;
    if (const locale_t ja = ::newlocale(LC_MESSAGES_MASK, "ja_JP.UTF-8", locale_t(nullptr))) {
        text = QString::fromUtf8(::strerror_l(error, ja));
        ::freelocale(ja);
    } else {
        text = QString::fromLocal8Bit(std::strerror(error));
    }
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    if (text.contains(latin)) {
        return QStringLiteral("システムのエラーです「%1」").arg(text);
    }
    return text;
}

TextFile::TextFile(const QString& path, Mode mode, CorePlatform* waits)
    : m_path(path), m_mode(mode), m_waits(waits) {
    const QByteArray native = QFile::encodeName(m_path);
    bool exists = false;
    if (const QString why = notRegularAtPath(native, &exists); !why.isEmpty()) {
        fail(QStringLiteral("refused"), why);
        return;
    }
    if (m_mode == Mode::AppendOrCreate) {
        // Non-blocking and not through a link, so a FIFO or a link that took the file's place
        // since the check above makes the open fail or return at once.
        // Read too, to see whether the last line has its end; a log the user may only write to
        // is still appended to.
        const int flags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
        m_fd = ::open(native.constData(), O_RDWR | flags, 0666);
        if (m_fd < 0 && errno == EACCES) {
            m_fd = ::open(native.constData(), O_WRONLY | flags, 0666);
        }
        if (m_fd < 0) {
            fail(QStringLiteral("cannot open for appending"), errno);
            return;
        }
        struct stat st {};
        const int statError = ::fstat(m_fd, &st) != 0 ? errno : 0;
        const QString why =
            statError != 0 ? fileErrorText(statError) : notRegularReason(st.st_mode);
        if (!why.isEmpty()) {
            ::close(m_fd);
            m_fd = -1;
            fail(QStringLiteral("cannot open for appending"), why);
            return;
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        m_open = true;
        return;
    }
    if (m_mode == Mode::CreateNew && exists) {
        // Not a failure yet: the caller takes another name.
        m_nameTaken = true;
        m_errors << fileErrorText(EEXIST);
        return;
    }
    const QFileInfo info(m_path);
    removeStaleCopies(info.path());
    QByteArray copy =
        QFile::encodeName(info.dir().filePath(copyPrefix(info.fileName()))) + "XXXXXX";
    // Created exclusively: never an existing file, never through a link.
    m_fd = ::mkostemp(copy.data(), O_CLOEXEC);
    if (m_fd < 0) {
        fail(QStringLiteral("cannot create"), errno);
        return;
    }
    m_copyPath = QFile::decodeName(copy);
    // Held until the copy is in place, so another instance's clean-up can tell this copy from
    // one an interrupted save left behind.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    struct stat previous {};
    if (exists && ::lstat(native.constData(), &previous) == 0) {
        m_keepOwner = {true, previous.st_uid, previous.st_gid, previous.st_mode & 07777};
    } else {
        m_keepOwner = {false, 0, 0, newFileMode()};
    }
    m_open = true;
}

TextFile::~TextFile() {
    if (!m_copyPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_copyPath).constData());
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
    // meanwhile waits, so the cut-back below can never take its lines with ours. The wait
    // serves the window, and ends when it closes.
    const qint64 deadline = bootTimeMs() + kLockWaitMs;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || bootTimeMs() >= deadline) {
            fail(QStringLiteral("cannot lock"), errno);
            ok = false;
            break;
        }
        if (m_waits == nullptr) {
            ::usleep(5000);
            continue;
        }
        WaitMs(20, *m_waits);
        if (m_waits->waitsCancelled()) {
            fail(QStringLiteral("cancelled"),
                 QStringLiteral("ウィンドウが閉じられたため中止しました"));
            ok = false;
            break;
        }
    }
    struct stat st {};
    ::fstat(m_fd, &st);
    const qint64 start = st.st_size;
    // Takes this save's bytes back out of the log, so it never keeps part of a save; only what
    // this save wrote goes.
    auto cutBack = [&](qint64 written) {
        if (written <= 0) {
            return;
        }
        ::fstat(m_fd, &st);
        if (st.st_size != start + written) {
            m_leftBytes = written;
            fail(QStringLiteral("not cut back"),
                 QStringLiteral("ほかのプログラムが同時に書き込んだため、取り消せませんでした"));
        } else if (::ftruncate(m_fd, start) != 0) {
            m_leftBytes = written;
            fail(QStringLiteral("cannot cut back"), errno);
        }
    };
    if (ok && !m_pending.isEmpty()) {
        // A log whose last line has no end (edited by hand, or cut short) gets one first, so
        // our first line is not glued to it.
        char last = '\n';
        if (start > 0 && ::pread(m_fd, &last, 1, start - 1) == 1 && last != '\n') {
            m_pending.prepend(last == '\r' ? "\n" : "\r\n");
            m_lineEndAdded = true;
        }
        QString reason;
        const qint64 written = writeAll(m_fd, m_pending, reason);
        if (written != m_pending.size()) {
            fail(QStringLiteral("cannot append"), reason);
            cutBack(written);
            ok = false;
        } else if (::fsync(m_fd) != 0) {
            // The save counts as done only once its lines are on disk.
            fail(QStringLiteral("cannot sync"), errno);
            cutBack(written);
            ok = false;
        }
        if (!ok) {
            m_lineEndAdded = false;
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(QStringLiteral("cannot close"), errno);
        ok = false;
    }
    return ok;
}

bool TextFile::closeReplace() {
    const QByteArray copy = QFile::encodeName(m_copyPath);
    const QByteArray native = QFile::encodeName(m_path);
    QString reason;
    const qint64 written = writeAll(m_fd, m_pending, reason);
    bool ok = written == m_pending.size();
    bool linked = false;
    if (!ok) {
        fail(QStringLiteral("cannot write"), reason);
    } else if (::fsync(m_fd) != 0) {
        fail(QStringLiteral("cannot sync"), errno);
        ok = false;
    }
    if (ok) {
        // The replacement keeps the file's owner and permissions, given only now that it is
        // written whole, so whoever the file belongs to cannot write into the copy first.
        if (m_keepOwner.given && ::fchown(m_fd, m_keepOwner.uid, m_keepOwner.gid) != 0) {
            // Only root may give a file away; anyone else's copy is theirs already.
        }
        ::fchmod(m_fd, m_keepOwner.mode);
    }
    struct stat st {};
    if (ok && ::fstat(m_fd, &st) == 0) {
        m_writtenId = idFrom(st);
    }
    if (ok) {
        // Asked again just before the rename: what took the file's place meanwhile is refused
        // the same way (a rename would replace a link or a FIFO, not write through it).
        bool exists = false;
        if (const QString why = notRegularAtPath(native, &exists); !why.isEmpty()) {
            fail(QStringLiteral("refused"), why);
            ok = false;
        } else if (m_mode == Mode::CreateNew) {
            // Never over a file another instance made since the open.
            int rc = ::renameat2(AT_FDCWD, copy.constData(), AT_FDCWD, native.constData(),
                                 RENAME_NOREPLACE);
            if (rc != 0 && errno == EINVAL) {
                // A file system without that rename: a hard link refuses an existing name too.
                rc = ::link(copy.constData(), native.constData());
                linked = rc == 0;
            }
            if (rc != 0) {
                m_nameTaken = errno == EEXIST;
                fail(QStringLiteral("cannot create"), errno);
                ok = false;
            }
        } else if (::rename(copy.constData(), native.constData()) != 0) {
            fail(QStringLiteral("cannot replace"), errno);
            ok = false;
        }
    }
    // The copy's name is gone in every case: renamed into place, or dropped.
    if (!ok || linked) {
        ::unlink(copy.constData());
    }
    m_copyPath.clear();
    ::close(m_fd);
    m_fd = -1;
    if (ok) {
        // The rename on disk too, so a crash right after keeps the new file.
        const int dir = ::open(QFile::encodeName(QFileInfo(m_path).path()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    } else {
        m_writtenId = {};
    }
    return ok;
}

void TextFile::fail(const QString& what, int error) {
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3")
                                .arg(what, m_path, QString::fromLocal8Bit(std::strerror(error)));
    m_errors << fileErrorText(error);
}

void TextFile::fail(const QString& what, const QString& reason) {
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3").arg(what, m_path, reason);
    m_errors << reason;
}

TextFile::FileId TextFile::idOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    return idFrom(st);
}

QString TextFile::copyPrefix(const QString& fileName) {
    return QStringLiteral(".Tavo-") + fileName + QLatin1Char('.');
}

int TextFile::removeStaleCopies(const QString& folder) {
    const QDir dir(folder);
    // Only names this writer gives its copies (mkostemp's six letters or digits at the end).
    static const QRegularExpression copyName(
        QRegularExpression::anchoredPattern(QStringLiteral("\\.Tavo-.+\\.[A-Za-z0-9]{6}")));
    int removed = 0;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!copyName.match(name).hasMatch()) {
            continue;
        }
        const QByteArray native = QFile::encodeName(dir.filePath(name));
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
