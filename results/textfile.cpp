// SPDX-License-Identifier: MIT
#include "results/textfile.h"

#include <fcntl.h>
#include <locale.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
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

// The same for what the name in folder is, a link not followed. Opening a FIFO for writing
// would wait for a reader, and a link would lead elsewhere, so this is asked before any open.
QString notRegularAt(int folder, const QByteArray& name, bool* exists = nullptr,
                     struct stat* found = nullptr) {
    struct stat st {};
    const bool there = ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists != nullptr) {
        *exists = there;
    }
    if (found != nullptr) {
        *found = st;
    }
    return there ? notRegularReason(st.st_mode) : QString();
}

// What open(O_TMPFILE) says on a file system that has no unnamed files.
bool noUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

bool g_namedCopiesOnly = false;

// A copy's n-th name: hidden, as long as the file's own (three bytes at least), so any name the
// folder takes takes its copy too; empty past the last.
QByteArray copyName(const QByteArray& name, int n) {
    constexpr int kMostNames = 100;
    if (n >= kMostNames) {
        return QByteArray();
    }
    const qsizetype size = std::max<qsizetype>(3, name.size());
    const QByteArray tail = n == 0 ? QByteArray() : "~" + QByteArray::number(n);
    const qsizetype keep = size - 1 - tail.size();
    if (keep < 0) {
        return QByteArray();
    }
    const QByteArray copy = "." + name.left(keep) + tail;
    // Never the file itself (a name of dots alone).
    return copy == name || copy == ".." ? copyName(name, n + 1) : copy;
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

// Which regular file a name in folder is, a link not followed (with AT_EMPTY_PATH and "", the
// file folder is a descriptor of); null for anything else. Its birth tells it from a file made
// later under the inode number it had, which a file system gives again once a file is gone.
FileId regularFileId(int folder, const char* name, int flags = 0) {
    struct statx st {};
    if (::statx(folder, name, flags | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_BTIME,
                &st) != 0 ||
        !S_ISREG(st.stx_mode)) {
        return {};
    }
    const qint64 birth =
        (st.stx_mask & STATX_BTIME) != 0
            ? static_cast<qint64>(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec
            : 0;
    return {static_cast<quint64>(makedev(st.stx_dev_major, st.stx_dev_minor)), st.stx_ino, birth};
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

TextFile::TextFile(const QByteArray& folder, const QString& name, Mode mode, CorePlatform* waits)
    : m_name(QFile::encodeName(name)), m_mode(mode), m_waits(waits) {
    const QByteArray withSeparator = folder.endsWith('/') ? folder : folder + '/';
    m_path = QFile::decodeName(withSeparator) + name;
    open(withSeparator);
}

TextFile::TextFile(const QString& path, Mode mode, CorePlatform* waits)
    : m_path(path), m_mode(mode), m_waits(waits) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    m_name = QFile::encodeName(path.mid(slash + 1));
    open(slash < 0 ? QByteArray(".") : QFile::encodeName(path.left(slash + 1)));
}

void TextFile::open(const QByteArray& folder) {
    // Held while the file is open: every step is taken in this folder, by name alone.
    m_folder = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        fail(QStringLiteral("cannot open the folder of"), errno);
        return;
    }
    bool exists = false;
    struct stat previous {};
    if (const QString why = notRegularAt(m_folder, m_name, &exists, &previous); !why.isEmpty()) {
        fail(QStringLiteral("refused"), why);
        return;
    }
    if (m_mode == Mode::AppendOrCreate) {
        // Non-blocking and not through a link, so a FIFO or a link that took the file's place
        // since the check above makes the open fail or return at once.
        // Read too, to see whether the last line has its end; a log the user may only write to
        // is still appended to.
        const int flags = O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
        m_fd = ::openat(m_folder, m_name.constData(), O_RDWR | flags, 0666);
        if (m_fd < 0 && errno == EACCES) {
            m_fd = ::openat(m_folder, m_name.constData(), O_WRONLY | flags, 0666);
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
    if (exists) {
        m_keepOwner = {true, previous.st_uid, previous.st_gid, previous.st_mode & 07777};
    } else {
        m_keepOwner = {false, 0, 0, newFileMode()};
    }
    // Unnamed until whole: a save cut short leaves nothing in the folder (but in the instant
    // of a replace's rename, see closeReplace()).
    if (!g_namedCopiesOnly) {
        m_fd = ::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (m_fd < 0 && !noUnnamedFiles(errno)) {
            fail(QStringLiteral("cannot create"), errno);
            return;
        }
    }
    // Else a named copy, created exclusively: never an existing file, never through a link.
    for (int n = 0; m_fd < 0; ++n) {
        const QByteArray copy = copyName(m_name, n);
        if (copy.isEmpty()) {
            fail(QStringLiteral("cannot create"), EEXIST);
            return;
        }
        m_fd = ::openat(m_folder, copy.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno != EEXIST) {
            fail(QStringLiteral("cannot create"), errno);
            return;
        }
        if (m_fd >= 0) {
            m_copyName = copy;
            m_copyId = regularFileId(m_fd, "", AT_EMPTY_PATH);
        }
    }
    m_open = true;
}

TextFile::~TextFile() {
    removeOwnCopy();
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_folder >= 0) {
        ::close(m_folder);
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
    ::close(m_folder);
    m_folder = -1;
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
    QString reason;
    const qint64 written = writeAll(m_fd, m_pending, reason);
    bool ok = written == m_pending.size();
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
    if (ok) {
        m_writtenId = regularFileId(m_fd, "", AT_EMPTY_PATH);
    }
    bool exists = false;
    if (ok) {
        // Asked again just before the file gets its name: what took the file's place meanwhile
        // is refused the same way (a rename would replace a link or a FIFO, not write through
        // it).
        if (const QString why = notRegularAt(m_folder, m_name, &exists); !why.isEmpty()) {
            fail(QStringLiteral("refused"), why);
            ok = false;
        }
    }
    const char* name = m_name.constData();
    if (ok && m_copyName.isEmpty() && (m_mode == Mode::CreateNew || !exists)) {
        // The unnamed file takes the name, and never over a file another instance made since
        // the open.
        if (!linkCopyAs(m_name)) {
            const int error = errno;
            if (m_mode == Mode::CreateNew || error != EEXIST) {
                m_nameTaken = m_mode == Mode::CreateNew && error == EEXIST;
                fail(QStringLiteral("cannot create"), error);
                ok = false;
            }
            exists = true;
        } else {
            exists = false;
        }
    }
    if (ok && m_copyName.isEmpty() && exists) {
        // Only a rename replaces a name: the unnamed file gets a copy's name first, just for
        // the rename. Killed between the two, the program leaves that copy, the whole new
        // file; it is never removed by a later save, which cannot know it for its own.
        for (int n = 0; ok; ++n) {
            const QByteArray copy = copyName(m_name, n);
            if (copy.isEmpty()) {
                fail(QStringLiteral("cannot replace"), EEXIST);
                ok = false;
            } else if (linkCopyAs(copy)) {
                m_copyName = copy;
                m_copyId = m_writtenId;
                break;
            } else if (errno != EEXIST) {
                fail(QStringLiteral("cannot replace"), errno);
                ok = false;
            }
        }
    }
    if (ok && !m_copyName.isEmpty()) {
        const char* copy = m_copyName.constData();
        if (m_mode == Mode::CreateNew) {
            // Never over a file another instance made since the open.
            int rc = ::renameat2(m_folder, copy, m_folder, name, RENAME_NOREPLACE);
            if (rc != 0 && errno == EINVAL) {
                // A file system without that rename: a hard link refuses an existing name too.
                rc = ::linkat(m_folder, copy, m_folder, name, 0);
            } else if (rc == 0) {
                m_copyName.clear();
            }
            if (rc != 0) {
                m_nameTaken = errno == EEXIST;
                fail(QStringLiteral("cannot create"), errno);
                ok = false;
            }
        } else if (::renameat(m_folder, copy, m_folder, name) != 0) {
            fail(QStringLiteral("cannot replace"), errno);
            ok = false;
        } else {
            m_copyName.clear();
        }
    }
    // A copy's name is gone in every case: renamed into place, or dropped.
    removeOwnCopy();
    ::close(m_fd);
    m_fd = -1;
    if (ok) {
        // The new name on disk too, so a crash right after keeps the new file.
        const int dir = ::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    } else {
        m_writtenId = {};
    }
    return ok;
}

bool TextFile::linkCopyAs(const QByteArray& name) {
    // The unnamed file through its descriptor's entry; without /proc, by the descriptor itself,
    // which the system allows to some.
    char entry[40];
    std::snprintf(entry, sizeof entry, "/proc/self/fd/%d", m_fd);
    if (::linkat(AT_FDCWD, entry, m_folder, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    const int error = errno;
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        if (::linkat(m_fd, "", m_folder, name.constData(), AT_EMPTY_PATH) == 0) {
            return true;
        }
        if (errno != ENOENT) {
            return false;
        }
    }
    errno = error;
    return false;
}

bool TextFile::removeOwnCopy() {
    if (m_copyName.isEmpty()) {
        return false;
    }
    // Only while the name is still the copy this object made.
    const bool ours = regularFileId(m_folder, m_copyName.constData()) == m_copyId &&
                      ::unlinkat(m_folder, m_copyName.constData(), 0) == 0;
    m_copyName.clear();
    return ours;
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

FileId TextFile::idOf(const QString& path) {
    return regularFileId(AT_FDCWD, QFile::encodeName(path).constData());
}

FileId TextFile::idOf(const QByteArray& folder, const QString& name) {
    const int dir =
        ::open(folder.isEmpty() ? "." : folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return {};
    }
    const FileId id = regularFileId(dir, QFile::encodeName(name).constData());
    ::close(dir);
    return id;
}

void TextFile::setNamedCopiesOnly(bool on) {
    g_namedCopiesOnly = on;
}
