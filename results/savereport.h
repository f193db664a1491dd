// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

// What one save did with its two files.
struct SaveReport {
    struct Failure {
        QString path;
        QString reason;  // in the system's words
    };
    QList<Failure> failures;
    int written = 0;  // files written whole

    bool ok() const { return failures.isEmpty(); }
};

// The note for the user after a save that did not fully succeed: which file, why, and that the
// sheet is still on screen to be saved again. Empty when the save succeeded.
QString saveFailureMessage(const SaveReport& report);
