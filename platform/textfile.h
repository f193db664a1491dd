// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QFile;
class QSaveFile;

// A text file written for one save: opened, given its lines, closed. The files hold single-byte
// ASCII text without a byte-order mark, every line ended by CR LF, the last one included.
//
// Lines are held until close() and then written in one go, so a save lands whole or not at all:
// an appended log is cut back to its earlier size when the write fails or comes up short, and a
// replaced file keeps its previous content until the new one is complete on disk. Every failure
// is reported on standard error with the path and the reason, never to the user.
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

    // The bytes a file holds for these lines.
    static QByteArray encode(const QStringList& lines);

private:
    bool closeAppend();
    bool closeReplace();
    void report(const QString& what, const QString& reason) const;

    QString m_path;
    Mode m_mode;
    bool m_open = false;
    qint64 m_sizeBefore = 0;
    QByteArray m_pending;
    std::unique_ptr<QFile> m_log;
    std::unique_ptr<QSaveFile> m_replacement;
};
