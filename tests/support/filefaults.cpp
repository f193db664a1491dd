// SPDX-License-Identifier: MIT
#include "support/filefaults.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

void expectReport(const QString& path) {
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QRegularExpression::escape(path) + QStringLiteral(":.+")));
}

namespace {

QString errnoText(const char* call) {
    return QString::fromLatin1(call) + QStringLiteral(": ") +
           QString::fromLocal8Bit(strerror(errno));
}

// Changes the immutable flag; false with errno set when the file system refuses.
bool setImmutable(const QByteArray& path, bool on) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return done;
}

}  // namespace

PathFault::PathFault(Kind kind, const QString& path)
    : m_kind(kind), m_path(QFile::encodeName(path)) {
    const char* at = m_path.constData();
    if (kind == Immutable) {
        m_set = setImmutable(m_path, true);
        m_error = m_set ? QString() : errnoText("chattr +i");
    } else if (kind == Tmpfs) {
        m_set = ::mount("tmpfs", at, "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700") == 0;
        m_error = m_set ? QString() : errnoText("mount -t tmpfs");
    } else if (::mount(at, at, nullptr, MS_BIND, nullptr) != 0) {
        m_error = errnoText("mount --bind");
    } else if (::mount(nullptr, at, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        m_error = errnoText("mount -o remount,bind,ro");
        ::umount2(at, MNT_DETACH);
    } else {
        m_set = true;
    }
}

PathFault::~PathFault() {
    if (m_set && m_kind == Immutable) {
        setImmutable(m_path, false);
    } else if (m_set) {
        ::umount2(m_path.constData(), MNT_DETACH);
    }
}

FileSizeLimit::FileSizeLimit(qint64 bytes, bool ignoreSignal) {
    if (::getrlimit(RLIMIT_FSIZE, &m_previous) != 0) {
        m_error = errnoText("getrlimit");
        return;
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    if (ignoreSignal && ::sigaction(SIGXFSZ, &ignore, &m_previousAction) != 0) {
        m_error = errnoText("sigaction");
        return;
    }
    m_ignored = ignoreSignal;
    rlimit limit = m_previous;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        m_error = errnoText("setrlimit");
        if (m_ignored) {
            ::sigaction(SIGXFSZ, &m_previousAction, nullptr);
        }
        return;
    }
    m_set = true;
}

FileSizeLimit::~FileSizeLimit() {
    if (m_set) {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        if (m_ignored) {
            ::sigaction(SIGXFSZ, &m_previousAction, nullptr);
        }
    }
}

LockHolder::LockHolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls in the child of a threaded process.
        const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
        const char locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 1 : 0;
        if (::write(ready[1], &locked, 1) != 1 || locked == 0) {
            ::_exit(1);
        }
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char locked = 0;
    m_locked = m_pid > 0 && ::read(ready[0], &locked, 1) == 1 && locked == 1;
    ::close(ready[0]);
}

LockHolder::~LockHolder() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

namespace {
// Calls the save does not make itself but its memory and locks do, more or fewer from run to run
// under the sanitizers' allocator: not counted, so each count stops at the same step every run.
bool countedCall(pid_t pid) {
#if defined(__x86_64__)
    const long number =
        ::ptrace(PTRACE_PEEKUSER, pid, offsetof(struct user_regs_struct, orig_rax), nullptr);
    static constexpr long kNotCounted[] = {SYS_mmap,    SYS_munmap, SYS_mprotect, SYS_mremap,
                                           SYS_madvise, SYS_brk,    SYS_futex,    SYS_sched_yield};
    return std::find(std::begin(kNotCounted), std::end(kNotCounted), number) ==
           std::end(kNotCounted);
#else
    (void)pid;
    return true;
#endif
}
}  // namespace

KillRun runKilledBeforeCall(int call, const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return KillRun::Failed;
    }
    if (pid == 0) {
        // Stopped until the parent traces every call from here on.
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            ::_exit(3);
        }
        ::raise(SIGSTOP);
        body();
        ::_exit(0);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status) ||
        ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                 reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL)) != 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return KillRun::Failed;
    }
    // Stops come in pairs, entering and leaving each call.
    int entered = -1;
    bool inCall = false;
    int signal = 0;
    for (;;) {
        if (::ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(signal)) != 0 ||
            ::waitpid(pid, &status, 0) != pid) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return KillRun::Failed;
        }
        signal = 0;
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? KillRun::Finished
                                                                 : KillRun::Failed;
        }
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            signal = WSTOPSIG(status);  // the child's own signal, passed on
            continue;
        }
        inCall = !inCall;
        if (inCall && countedCall(pid) && ++entered == call) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return KillRun::Killed;
        }
    }
}
