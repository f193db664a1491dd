// SPDX-License-Identifier: MIT
#pragma once

#include <sys/resource.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <csignal>
#include <functional>

// A file's bytes; empty when it cannot be read.
QByteArray readAll(const QString& path);
// Everything in a folder, hidden entries included, by name.
QStringList entries(const QString& folder);
// Expects the writer's report on standard error, naming the path and a reason.
void expectReport(const QString& path);

// File failures a test can cause on a real file system, as root. Each one is undone when its
// object goes out of scope; ok() says whether it could be put in place, error() why not.
class PathFault {
public:
    enum Kind {
        // The file or folder bound onto itself read-only: opening it for writing, creating
        // files in it or renaming over it fail with "Read-only file system" or "busy".
        ReadOnlyBind,
        Immutable,  // the immutable attribute: not even root may change the file
        Tmpfs,      // a fresh tmpfs on the folder, to fill with many files quickly
    };
    PathFault(Kind kind, const QString& path);
    ~PathFault();
    PathFault(const PathFault&) = delete;
    PathFault& operator=(const PathFault&) = delete;
    bool ok() const { return m_set; }
    QString error() const { return m_error; }

private:
    Kind m_kind;
    QByteArray m_path;
    bool m_set = false;
    QString m_error;
};

// Skips the test, saying why, where a fault could not be put in place.
#define SKIP_UNLESS_SET(fault)                  \
    do {                                        \
        if (!(fault).ok()) {                    \
            QSKIP(qPrintable((fault).error())); \
        }                                       \
    } while (false)

// Lets no file written by this process grow past a size, as a disk that fills part-way: with
// SIGXFSZ ignored, a write across the limit comes up short and the next one fails. The program
// ignores the signal itself; ignoreSignal does it here for tests of parts without the program.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes, bool ignoreSignal = true);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return m_set; }
    QString error() const { return m_error; }

private:
    rlimit m_previous{};
    bool m_ignored = false;
    struct sigaction m_previousAction {};
    bool m_set = false;
    QString m_error;
};

// Another process that holds an exclusive flock() on a file until this object goes: it is
// killed by its own process id.
class LockHolder {
public:
    explicit LockHolder(const QString& path);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    bool ok() const { return m_locked; }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

// Runs body in a child process (forked: it gets a copy of everything the test set up) that is
// killed, like a power cut or kill -9, just before the given system call it makes, counted from
// 0 from the start of body; the call never runs. Killed says whether it came to that call,
// Finished that body ended first (exit status 0), Failed that the child could not be traced.
enum class KillRun { Killed, Finished, Failed };
KillRun runKilledBeforeCall(int call, const std::function<void()>& body);
