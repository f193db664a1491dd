// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What one save did with its folder and its two files.
struct SaveReport {
    struct Failure {
        QString path;
        QStringList reasons;  // every one, in the user's words
    };
    QList<Failure> failures;
    int written = 0;  // files written whole

    bool hadLines = false;         // the sheet had drawn blocks to save
    QString folder;                // where the files go
    bool folderFailed = false;     // the results folder could not be made: nothing else was tried
    bool logHoldsSave = false;     // this save's lines are in the log, whole
    bool logLineEndAdded = false;  // the log's last line had no end and got one first
    qint64 logLeftBytes = 0;       // bytes of a failed append left in the log
    QString sheetFile;             // the sheet file's name, when the sheet has one
    bool sheetWritten = false;
    QString sheetTakenName;  // the specified name, held by another sheet's file: left alone
    bool noteShown = false;  // a note told the user how it went

    bool ok() const { return failures.isEmpty(); }
};

// The note after a save (empty when all went well and nothing is to tell): what failed, what
// each file holds and what to do, the reasons, the folder's path last (or folderNote instead).
QString saveMessage(const SaveReport& report, const QString& folderNote = QString());
