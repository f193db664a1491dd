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
#include <utility>

#include "model/coreplatform.h"
#include "model/waitms.h"

namespace {

// A file-size limit (a quota) then fails the write that crosses it, like a full disk, rather
// than ending the program mid-save. Set before main(), wherever the writer is linked, so nothing
// that starts up first (Qt's, the display's or the font cache's files) is ended by it either.
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
    if (S_ISDIR(mode) || S_ISLNK(mode)) {
        return fileErrorText(S_ISDIR(mode) ? EISDIR : ELOOP);
    }
    const char* kind = S_ISFIFO(mode)                   ? "名前付きパイプ"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "デバイス"
                       : S_ISSOCK(mode)                 ? "ソケット"
                                                        : "特殊なファイル";
    return QStringLiteral("通常のファイルではありません（%1）").arg(QString::fromUtf8(kind));
}

// The same for the name in folder, a link not followed; found: what is there (st_mode 0: none).
// Asked before any open: a FIFO would hold the open until a reader comes, a link lead elsewhere.
QString notRegularAt(int folder, const QByteArray& name, struct stat& found) {
    if (::fstatat(folder, name.constData(), &found, AT_SYMLINK_NOFOLLOW) != 0) {
        found = {};
    }
    return found.st_mode == 0 ? QString() : notRegularReason(found.st_mode);
}

bool g_namedCopiesOnly = false;

// A copy's n-th name: hidden, as long as the file's own (three bytes at least), so any name the
// folder takes takes its copy too; empty past the last.
QByteArray copyName(const QByteArray& name, int n) {
    constexpr int kMostNames = 100;
    const QByteArray tail = n == 0 ? QByteArray() : "~" + QByteArray::number(n);
    const qsizetype keep = std::max<qsizetype>(3, name.size()) - 1 - tail.size();
    if (n >= kMostNames || keep < 0) {
        return QByteArray();
    }
    const QByteArray copy = "." + name.left(keep) + tail;
    // Never the file itself (a name of dots alone).
    return copy == name || copy == ".." ? copyName(name, n + 1) : copy;
}

// The permission bits a new file gets from this process.
mode_t newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    static const QRegularExpression umask(QStringLiteral("^Umask:\\s*([0-7]+)$"),
                                          QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = status.open(QIODevice::ReadOnly)
                                              ? umask.match(QString::fromLatin1(status.readAll()))
                                              : QRegularExpressionMatch();
    return found.hasMatch() ? 0666 & ~static_cast<mode_t>(found.captured(1).toUInt(nullptr, 8))
                            : 0644;
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
    static const std::pair<int, const char*> kTexts[] = {
        {ENOENT, "フォルダーがありません"},
        {ENOTDIR, "途中のフォルダーがフォルダーではありません"},
        {EACCES, "書き込む権限がありません"},
        {EPERM, "書き込みが許可されていません"},
        {EROFS, "読み取り専用の場所です"},
        {ENOSPC, "ディスクがいっぱいです"},
        {EDQUOT, "ディスクの使用量の上限に達しました"},
        {EFBIG, "ファイルの大きさの上限に達しました"},
        {EEXIST, "同じ名前のファイルがあります"},
        {EISDIR, "同じ名前のフォルダーがあります"},
        {ELOOP, "シンボリックリンクです（リンク先には書き込みません）"},
        {EBUSY, "使用中です"},
        {EWOULDBLOCK, "ほかのプログラムが使用中です（ロックされています）"},
        {EIO, "ディスクの読み書きでエラーが起きました"},
        {ENAMETOOLONG, "名前が長すぎます"},
    };
    for (const auto& [code, text] : kTexts) {
        if (code == error) {
            return QString::fromUtf8(text);
        }
    }
    // Rare causes: the C library's own Japanese text where the system has it.
    const locale_t ja = ::newlocale(LC_MESSAGES_MASK, "ja_JP.UTF-8", locale_t(nullptr));
    const QString text = ja != locale_t(nullptr) ? QString::fromUtf8(::strerror_l(error, ja))
                                                 : QString::fromLocal8Bit(std::strerror(error));
    if (ja != locale_t(nullptr)) {
        ::freelocale(ja);
    }
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    return text.contains(latin) ? QStringLiteral("システムのエラーです「%1」").arg(text) : text;
}

TextFile::TextFile(const QByteArray& folder, const QString& name, Mode mode, CorePlatform* waits)
    : m_name(QFile::encodeName(name)), m_mode(mode), m_waits(waits) {
    const QByteArray withSeparator = folder.endsWith('/') ? folder : folder + '/';
    m_path = QFile::decodeName(withSeparator) + name;
    open(withSeparator);
}

void TextFile::open(const QByteArray& folder) {
    // Held while the file is open: every step is taken in this folder, by name alone.
    m_folder = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        fail(QStringLiteral("cannot open the folder of"), errno);
        return;
    }
    struct stat previous {};
    if (const QString why = notRegularAt(m_folder, m_name, previous); !why.isEmpty()) {
        fail(QStringLiteral("refused"), why);
        return;
    }
    if (m_mode == Mode::AppendOrCreate) {
        // Non-blocking and not through a link: a FIFO or a link in the file's place since the
        // check fails or returns at once. Read too, for the last line's end, where allowed.
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
        if (const QString why =
                ::fstat(m_fd, &st) != 0 ? fileErrorText(errno) : notRegularReason(st.st_mode);
            !why.isEmpty()) {
            ::close(m_fd);
            m_fd = -1;
            fail(QStringLiteral("cannot open for appending"), why);
            return;
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        m_open = true;
        return;
    }
    const bool exists = previous.st_mode != 0;
    if (m_mode == Mode::CreateNew && exists) {
        // Not a failure yet: the caller takes another name.
        m_nameTaken = true;
        m_errors << fileErrorText(EEXIST);
        return;
    }
    m_keepOwner = exists ? Owner{true, previous.st_uid, previous.st_gid, previous.st_mode & 07777}
                         : Owner{false, 0, 0, newFileMode()};
    // Unnamed until whole: a save cut short leaves nothing in the folder (but in the instant
    // of a replace's rename, see putInPlace()).
    if (!g_namedCopiesOnly) {
        m_fd = ::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        // These say the file system has no unnamed files.
        if (m_fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            fail(QStringLiteral("cannot create"), errno);
            return;
        }
    }
    // Else a named copy, created exclusively: never an existing file, never through a link.
    const auto createCopy = [this](const char* copy) {
        m_fd = ::openat(m_folder, copy,
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        return m_fd >= 0;
    };
    m_open = m_fd >= 0 || takeCopyName(QStringLiteral("cannot create"), createCopy);
    if (!m_copyName.isEmpty()) {
        m_copyId = regularFileId(m_fd, "", AT_EMPTY_PATH);
    }
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

bool TextFile::writePending(const QString& what, qint64& written) {
    // A disk that fills part-way takes part of a write without an error; the next write of the
    // rest then names the cause.
    written = 0;
    while (written < m_pending.size()) {
        const ssize_t n = ::write(m_fd, m_pending.constData() + written,
                                  static_cast<size_t>(m_pending.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(what, fileErrorText(errno));
        }
        if (n == 0) {
            return fail(what, QStringLiteral("一部しか書き込めませんでした（%1 / %2 バイト）")
                                  .arg(written)
                                  .arg(m_pending.size()));
        }
        written += n;
    }
    // The save counts as done only once its lines are on disk.
    return ::fsync(m_fd) == 0 || fail(QStringLiteral("cannot sync"), errno);
}

bool TextFile::lockLog() {
    // Another instance that appends meanwhile waits, so a cut-back never takes its lines with
    // ours. The wait serves the window, and ends when it closes.
    const qint64 deadline = bootTimeMs() + kLockWaitMs;
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK || bootTimeMs() >= deadline) {
            return fail(QStringLiteral("cannot lock"), errno);
        }
        if (m_waits == nullptr) {
            ::usleep(5000);
            continue;
        }
        WaitMs(20, *m_waits);
        if (m_waits->waitsCancelled()) {
            return fail(QStringLiteral("cancelled"),
                        QStringLiteral("ウィンドウが閉じられたため中止しました"));
        }
    }
    return true;
}

bool TextFile::closeAppend() {
    bool ok = lockLog();
    struct stat st {};
    ::fstat(m_fd, &st);
    const qint64 start = st.st_size;
    if (ok && !m_pending.isEmpty()) {
        // A log whose last line has no end (edited by hand, or cut short) gets one first, so
        // our first line is not glued to it.
        char last = '\n';
        if (start > 0 && ::pread(m_fd, &last, 1, start - 1) == 1 && last != '\n') {
            m_pending.prepend(last == '\r' ? "\n" : "\r\n");
            m_lineEndAdded = true;
        }
        qint64 written = 0;
        ok = writePending(QStringLiteral("cannot append"), written);
        m_lineEndAdded = m_lineEndAdded && ok;
        // This save's bytes, and only they, go back out: the log never keeps part of a save.
        if (!ok && written > 0) {
            ::fstat(m_fd, &st);
            if (st.st_size != start + written) {
                m_leftBytes = written;
                fail(
                    QStringLiteral("not cut back"),
                    QStringLiteral("ほかのプログラムが同時に書き込んだため、取り消せませんでした"));
            } else if (::ftruncate(m_fd, start) != 0) {
                m_leftBytes = written;
                fail(QStringLiteral("cannot cut back"), errno);
            }
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0 ? ok : fail(QStringLiteral("cannot close"), errno);
}

bool TextFile::closeReplace() {
    qint64 written = 0;
    bool ok = writePending(QStringLiteral("cannot write"), written);
    if (ok) {
        // The replacement keeps the file's owner and permissions, given only now that it is
        // written whole, so whoever the file belongs to cannot write into the copy first.
        if (m_keepOwner.given && ::fchown(m_fd, m_keepOwner.uid, m_keepOwner.gid) != 0) {
            // Only root may give a file away; anyone else's copy is theirs already.
        }
        ::fchmod(m_fd, m_keepOwner.mode);
        m_writtenId = regularFileId(m_fd, "", AT_EMPTY_PATH);
        ok = putInPlace();
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

bool TextFile::putInPlace() {
    // Asked again just before the file gets its name: what took the file's place meanwhile is
    // refused the same way (a rename would replace a link or a FIFO, not write through it).
    struct stat there {};
    if (const QString why = notRegularAt(m_folder, m_name, there); !why.isEmpty()) {
        return fail(QStringLiteral("refused"), why);
    }
    const bool exists = there.st_mode != 0;
    const bool createNew = m_mode == Mode::CreateNew;
    if (m_copyName.isEmpty() && (createNew || !exists)) {
        // Never over a file another instance made since the open.
        if (linkCopyAs(m_name.constData())) {
            return true;
        }
        if (createNew || errno != EEXIST) {
            m_nameTaken = createNew && errno == EEXIST;
            return fail(QStringLiteral("cannot create"), errno);
        }
    }
    // Only a rename replaces a name: the unnamed file gets a copy's name first, just for the
    // rename. Killed between the two, the program leaves that copy, the whole new file; it is
    // never removed by a later save, which cannot know it for its own.
    if (m_copyName.isEmpty()) {
        m_copyId = m_writtenId;
        const auto linkCopy = [this](const char* copy) { return linkCopyAs(copy); };
        if (!takeCopyName(QStringLiteral("cannot replace"), linkCopy)) {
            return false;
        }
    }
    const char* copy = m_copyName.constData();
    const char* name = m_name.constData();
    if (!createNew) {
        if (::renameat(m_folder, copy, m_folder, name) != 0) {
            return fail(QStringLiteral("cannot replace"), errno);
        }
        m_copyName.clear();
        return true;
    }
    // Never over a file another instance made since the open.
    if (::renameat2(m_folder, copy, m_folder, name, RENAME_NOREPLACE) == 0) {
        m_copyName.clear();
        return true;
    }
    // A file system without that rename: a hard link refuses an existing name too (and the
    // copy's name is dropped after).
    if (errno == EINVAL && ::linkat(m_folder, copy, m_folder, name, 0) == 0) {
        return true;
    }
    m_nameTaken = errno == EEXIST;
    return fail(QStringLiteral("cannot create"), errno);
}

bool TextFile::takeCopyName(const QString& what, const std::function<bool(const char*)>& make) {
    for (int n = 0;; ++n) {
        const QByteArray copy = copyName(m_name, n);
        if (copy.isEmpty()) {
            return fail(what, EEXIST);
        }
        if (make(copy.constData())) {
            m_copyName = copy;
            return true;
        }
        if (errno != EEXIST) {
            return fail(what, errno);
        }
    }
}

bool TextFile::linkCopyAs(const char* name) {
    // The unnamed file through its descriptor's entry; without /proc, by the descriptor itself,
    // which the system allows to some.
    char entry[40];
    std::snprintf(entry, sizeof entry, "/proc/self/fd/%d", m_fd);
    if (::linkat(AT_FDCWD, entry, m_folder, name, AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    const int error = errno;
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        if (::linkat(m_fd, "", m_folder, name, AT_EMPTY_PATH) == 0) {
            return true;
        }
        if (errno != ENOENT) {
            return false;
        }
    }
    errno = error;
    return false;
}

void TextFile::removeOwnCopy() {
    // Only while the name is still the copy this object made.
    if (!m_copyName.isEmpty() && regularFileId(m_folder, m_copyName.constData()) == m_copyId) {
        ::unlinkat(m_folder, m_copyName.constData(), 0);
    }
    m_copyName.clear();
}

bool TextFile::fail(const QString& what, int error) {
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3")
                                .arg(what, m_path, QString::fromLocal8Bit(std::strerror(error)));
    m_errors << fileErrorText(error);
    return false;
}

bool TextFile::fail(const QString& what, const QString& reason) {
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3").arg(what, m_path, reason);
    m_errors << reason;
    return false;
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
