// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "model/sheet.h"

class CorePlatform;

// Why a file operation failed, in the user's words (Japanese) for the causes a user meets; for
// rare others the C library's Japanese text where the system has it, else its own words quoted.
QString fileErrorText(int error);

// A text file written for one save: single-byte ASCII without a byte-order mark, every line
// ended by CR LF. Lines are held until close() and written in one go, so a save lands whole or
// not at all: a log is cut back, a replaced file keeps its content until the new one is on disk.
// Only regular files are written: a FIFO, a device, a folder or a link in the file's place fails
// at once. Every failure goes to standard error with the path, its reasons to errors(). The
// folder is never listed, so a write costs the same however many files lie beside it.
// Not QSaveFile: it resolves a symbolic link and writes the target, names its copy longer than
// the file, and leaves a named copy behind when the program is killed.
class TextFile {
public:
    enum class Mode {
        AppendOrCreate,   // add to the end; create the file empty when missing; never truncate
        CreateOrReplace,  // replace the whole file, or create it
        CreateNew,        // create it; a file already there stays untouched (nameTaken())
    };

    // The file name in folder, the system's own bytes; every step is taken relative to it, so
    // only each of the two needs to fit the system. waits serves the window while another
    // program holds the log's lock (null: no window to serve).
    TextFile(const QByteArray& folder, const QString& name, Mode mode,
             CorePlatform* waits = nullptr);
    // Closing is explicit: a file dropped without close() keeps what it had before.
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // False when the file could not be opened (already reported).
    bool isOpen() const { return m_open; }
    void writeLine(const QString& line);
    // Writes the lines and closes. False on any failure; the file then holds what it held before
    // (a log may have been created empty), unless leftBytes() says otherwise.
    bool close();
    // Every reason open or close failed, in order, in the user's words.
    QStringList errors() const { return m_errors; }
    // CreateNew found a regular file of that name, and left it alone.
    bool nameTaken() const { return m_nameTaken; }
    // The log did not end with a line end, and got one before these lines.
    bool lineEndAdded() const { return m_lineEndAdded; }
    // Bytes of these lines that a failed append could not take back out of the log.
    qint64 leftBytes() const { return m_leftBytes; }

    // Which regular file the name in folder is now (a link not followed): equal ids are the
    // same file; null when there is none.
    static FileId idOf(const QByteArray& folder, const QString& name);
    // The file a replace or a create put in place.
    FileId writtenId() const { return m_writtenId; }

    // How long an append waits for another program that holds the log's lock.
    static constexpr int kLockWaitMs = 5000;
    // A replacement is an unnamed file until whole, so an interrupted save leaves nothing. Without
    // unnamed files, or on request (tests), a hidden copy named no longer than the file is
    // written instead: the only file ever removed, and only by the process that made it.
    static void setNamedCopiesOnly(bool on);

private:
    void open(const QByteArray& folder);
    bool closeAppend();
    bool closeReplace();
    // Writes the held lines whole and puts them on disk; written: how many bytes went in.
    bool writePending(const QString& what, qint64& written);
    bool lockLog();
    bool putInPlace();
    // Names the file being written by the first free copy name, made by make (false with errno).
    bool takeCopyName(const QString& what, const std::function<bool(const char*)>& make);
    bool linkCopyAs(const char* name);
    void removeOwnCopy();
    // Reports a failure; false, for the caller to pass on.
    bool fail(const QString& what, int error);
    bool fail(const QString& what, const QString& reason);

    QString m_path;
    QByteArray m_name;  // the file's name in the folder
    Mode m_mode;
    CorePlatform* m_waits = nullptr;
    bool m_open = false;
    int m_fd = -1;
    int m_folder = -1;      // the folder, held while the file is open
    QByteArray m_copyName;  // the named copy being written or passed through; empty: none
    FileId m_copyId;        // the copy this object made, told from whatever may take its name
    QByteArray m_pending;
    QStringList m_errors;
    bool m_nameTaken = false;
    bool m_lineEndAdded = false;
    qint64 m_leftBytes = 0;
    FileId m_writtenId;
    // Who a replacement belongs to, and its permissions: those of the file it replaces (a new
    // file keeps the owner it was made with, the folder's group where the folder gives one).
    struct Owner {
        bool given = false;
        uid_t uid = 0;
        gid_t gid = 0;
        mode_t mode = 0644;
    } m_keepOwner;
};
