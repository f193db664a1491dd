// SPDX-License-Identifier: MIT
#pragma once

#include <QPrinter>
#include <QString>
#include <memory>

class CorePlatform;

// What the print server (CUPS, at CUPS_SERVER or its default) says of a queue. Qt's own print
// engine neither asks whether a queue takes jobs nor reads the answer to the submission, so a
// page sent to a queue that rejects jobs, or to one removed meanwhile, would vanish.
//
// A server can accept the connection and never answer, and libcups then waits for minutes. So
// every question runs on a thread of its own, holding only what it needs, while the caller's
// events go on being dispatched; past kServerBoundMs the caller is told the server did not
// answer, and the thread is left to end by itself (nothing ever waits for it).
namespace printqueue {

constexpr int kServerBoundMs = 10000;

enum class State {
    Ok,
    NoPrinter,     // the server knows no default queue
    NoSuchQueue,   // the server does not know the queue
    NotAccepting,  // the queue rejects jobs
    Unreachable,   // the server could not be asked
    NoAnswer,      // nothing came back within the bound
    Refused,       // the server did not take the job
    Abandoned,     // the window closed meanwhile: nothing more is to be done or said
};

struct Answer {
    State state = State::Ok;
    QString queue;
    QString detail;  // the server's own words, where it gave any
    int jobId = 0;   // of a job taken
};

// The default queue, and a printer on it (null unless the answer is Ok).
struct DefaultPrinter {
    Answer answer;
    std::unique_ptr<QPrinter> printer;
};
DefaultPrinter defaultPrinter(CorePlatform& platform);

// A question's thread is still running (one the caller stopped waiting for, most likely): the
// program should then end without tearing down what that thread may still use.
bool questionsRunning();

// Whether the queue exists and takes jobs (a stopped queue that accepts is usable).
Answer check(const QString& queue, CorePlatform& platform);

// Hands a finished PDF file to the queue as one job; Ok once the server has it.
Answer submitPdf(const QString& queue, const QString& pdfPath, const QString& title,
                 CorePlatform& platform);

}  // namespace printqueue
