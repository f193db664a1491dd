// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QSaveFile;

// A text file written for one save: opened, given its lines, closed. The files hold single-byte
// ASCII text without a byte-order mark, every line ended by CR LF, the last one included.
//
// Lines are held until close() and then written in one go, so a save lands whole or not at all:
// an appended log is cut back when the write fails or comes up short, and a replaced file keeps
// its previous content until the new one is complete on disk. Only regular files are written: a
// FIFO, a device or a folder in the file's place fails at once rather than blocking the caller.
// Every failure is reported on standard error with the path and the reason, and kept in
// errorString() for the caller to pass on.
class TextFile {
public:
    enum class Mode {
        AppendOrCreate,   // add to the end; create the file empty when missing; never truncate
        CreateOrReplace,  // replace the whole file, or create it
    };

    TextFile(const QString& path, Mode mode);
    // Closing is explicit: a file dropped without close() keeps what it had before.
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // False when the file could not be opened (already reported).
    bool isOpen() const { return m_open; }
    void writeLine(const QString& line);
    // Writes the lines and closes. False on any failure (reported); the file then holds exactly
    // what it held before it was opened (an appended log may have been created empty).
    bool close();
    // Why the last open or close failed, in the system's words; empty when nothing failed.
    QString errorString() const { return m_error; }

    // The bytes a file holds for these lines.
    static QByteArray encode(const QStringList& lines);

    // How long an append waits for another instance that holds the log's lock.
    static constexpr int kLockWaitMs = 2000;
    // A replacement's temporary copy (path + "." + six letters or digits) that nobody holds
    // locked and nobody has touched for this long was left by an interrupted save.
    static constexpr int kStaleCopyAgeMs = 2000;
    // Removes such leftover copies of path; returns how many went.
    static int removeStaleCopies(const QString& path);

private:
    bool closeAppend();
    bool closeReplace();
    void fail(const QString& what, const QString& reason);

    QString m_path;
    Mode m_mode;
    bool m_open = false;
    int m_fd = -1;
    QByteArray m_pending;
    QString m_error;
    std::unique_ptr<QSaveFile> m_replacement;
};
