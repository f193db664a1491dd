// SPDX-License-Identifier: MIT
#include "platform/textfile.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace {

void appendEncoded(QByteArray& out, const QString& line) {
    out.reserve(out.size() + line.size() + 2);
    for (const QChar c : line) {
        // The files are plain ASCII; anything else would be read differently by every reader.
        out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
    }
    out.append("\r\n", 2);
}

}  // namespace

TextFile::TextFile(const QString& path, Mode mode) : m_path(path), m_mode(mode) {
    if (m_mode == Mode::AppendOrCreate) {
        m_log = std::make_unique<QFile>(m_path);
        // Unbuffered: write() then goes straight to the file and a short count is seen there,
        // not lost in a later flush.
        m_open = m_log->open(QIODevice::Append | QIODevice::Unbuffered);
        if (!m_open) {
            report(QStringLiteral("cannot open for appending"), m_log->errorString());
            return;
        }
        m_sizeBefore = m_log->size();
    } else {
        m_replacement = std::make_unique<QSaveFile>(m_path);
        m_open = m_replacement->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        if (!m_open) {
            report(QStringLiteral("cannot create"), m_replacement->errorString());
        }
    }
}

TextFile::~TextFile() {
    if (m_replacement && m_replacement->isOpen()) {
        m_replacement->cancelWriting();
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
    if (!m_pending.isEmpty()) {
        const qint64 written = m_log->write(m_pending);
        if (written != m_pending.size()) {
            // A full disk gives a short count without an error; either way the log must not
            // keep part of this save.
            const QString reason = written < 0 ? m_log->errorString()
                                               : QStringLiteral("only %1 of %2 bytes written")
                                                     .arg(written)
                                                     .arg(m_pending.size());
            report(QStringLiteral("cannot append"), reason);
            if (!m_log->resize(m_sizeBefore)) {
                report(QStringLiteral("cannot cut back to %1 bytes").arg(m_sizeBefore),
                       m_log->errorString());
            }
            ok = false;
        }
    }
    m_log->close();
    if (ok && m_log->error() != QFileDevice::NoError) {
        report(QStringLiteral("cannot close"), m_log->errorString());
        ok = false;
    }
    return ok;
}

bool TextFile::closeReplace() {
    const qint64 written = m_pending.isEmpty() ? 0 : m_replacement->write(m_pending);
    if (written != m_pending.size()) {
        const QString reason =
            written < 0
                ? m_replacement->errorString()
                : QStringLiteral("only %1 of %2 bytes written").arg(written).arg(m_pending.size());
        report(QStringLiteral("cannot write"), reason);
        // commit() would still put the short file in place of the good one.
        m_replacement->cancelWriting();
        m_replacement->commit();
        return false;
    }
    if (!m_replacement->commit()) {
        report(QStringLiteral("cannot replace"), m_replacement->errorString());
        return false;
    }
    return true;
}

void TextFile::report(const QString& what, const QString& reason) const {
    qWarning().noquote() << QStringLiteral("Tavo: %1 %2: %3").arg(what, m_path, reason);
}

QByteArray TextFile::encode(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        appendEncoded(out, line);
    }
    return out;
}
