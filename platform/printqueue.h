// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// What the print server (CUPS, at CUPS_SERVER or its default) says of a queue. Qt's own print
// engine neither asks whether a queue takes jobs nor reads the answer to the submission, so a
// page sent to a queue that rejects jobs, or to one removed meanwhile, would vanish.
namespace printqueue {

struct Check {
    bool usable = false;  // exists and accepts jobs (a stopped queue that accepts is usable)
    QString reason;       // why not, in the server's words where it gave any
};
Check check(const QString& queue);

struct Submission {
    int jobId = 0;   // 0: not taken
    QString reason;  // why not, in the server's words
};
// Hands a finished PDF file to the queue as one job; returns once the server has it.
Submission submitPdf(const QString& queue, const QString& pdfPath, const QString& title);

}  // namespace printqueue
