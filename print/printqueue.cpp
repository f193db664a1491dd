// SPDX-License-Identifier: MIT
#include "print/printqueue.h"

#include <cups/cups.h>
#include <QAbstractEventDispatcher>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <atomic>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "model/coreplatform.h"
#include "model/timer.h"
#include "model/waitms.h"

namespace printqueue {

namespace {

// What the caller and a question's thread share; the thread holds it alone once the caller
// has gone on.
struct Question {
    std::mutex mutex;
    bool done = false;
    bool abandoned = false;
    QAbstractEventDispatcher* caller = nullptr;

    bool isAbandoned() {
        const std::lock_guard<std::mutex> lock(mutex);
        return abandoned;
    }
};

// How many questions' threads are still running, the abandoned ones among them.
std::atomic<int> g_running{0};

// Runs work on a thread of its own while the caller's events are dispatched. NoAnswer when it
// has not finished within the bound, Abandoned when the window closed first, else Ok.
State askOffWindow(std::function<void(Question&)> work, CorePlatform& platform) {
    auto question = std::make_shared<Question>();
    question->caller = QAbstractEventDispatcher::instance();
    try {
        std::thread([question, work = std::move(work)] {
            ++g_running;
            work(*question);
            {
                const std::lock_guard<std::mutex> lock(question->mutex);
                question->done = true;
                if (!question->abandoned && question->caller != nullptr) {
                    question->caller->wakeUp();
                }
            }
            --g_running;
        }).detach();
    } catch (const std::system_error&) {
        return State::Unreachable;
    }
    bool late = false;
    const std::unique_ptr<Timer> bound = platform.createTimer();
    bound->setSingleShot(true);
    QObject::connect(bound.get(), &Timer::timeout, [&late] { late = true; });
    bound->start(kServerBoundMs);
    waitWhile(
        [&] {
            const std::lock_guard<std::mutex> lock(question->mutex);
            return !question->done && !late;
        },
        platform);
    const std::lock_guard<std::mutex> lock(question->mutex);
    if (question->done) {
        return State::Ok;
    }
    question->abandoned = true;
    return platform.waitsCancelled() ? State::Abandoned : State::NoAnswer;
}

// The operator's note on the queue (cupsreject -r, a stopped printer's reason): not among the
// options a destination carries, so asked of the server.
QString stateMessage(const cups_dest_t& dest) {
    const char* uri = cupsGetOption("printer-uri-supported", dest.num_options, dest.options);
    if (uri == nullptr) {
        return QString();
    }
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-state-message");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    const QString message =
        QString::fromUtf8(attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr);
    ippDelete(response);
    return message;
}

// On a question's thread: the queue (the default one when empty) and whether it takes jobs.
Answer ask(const QString& queue) {
    const QByteArray name = queue.toUtf8();
    cups_dest_t* dest =
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.isEmpty() ? nullptr : name.constData(), nullptr);
    if (dest == nullptr) {
        // A server that answered does not know the queue; otherwise it could not be asked.
        const State state =
            cupsLastError() < IPP_STATUS_ERROR_INTERNAL ? State::NoSuchQueue : State::Unreachable;
        return {queue.isEmpty() && state == State::NoSuchQueue ? State::NoPrinter : state, queue,
                state == State::Unreachable ? QString::fromUtf8(cupsLastErrorString()) : QString()};
    }
    Answer answer{State::Ok, QString::fromUtf8(dest->name), QString()};
    if (qstrcmp(cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options),
                "false") == 0) {
        answer.state = State::NotAccepting;
        answer.detail = stateMessage(*dest);
    }
    cupsFreeDests(1, dest);
    return answer;
}

}  // namespace

bool questionsRunning() {
    return g_running.load() > 0;
}

DefaultPrinter defaultPrinter(CorePlatform& platform) {
    auto out = std::make_shared<DefaultPrinter>();
    // Qt's printer asks the server too (for the queue's paper and its driver), so it is made
    // on the same thread, after libcups has named the default queue.
    const State state = askOffWindow(
        [out](Question& question) {
            out->answer = ask(QString());
            // An answer that came too late is dropped before Qt's print support is asked, which
            // the window's thread may be using again meanwhile.
            if (out->answer.state == State::Ok && !question.isAbandoned()) {
                const QPrinterInfo info = QPrinterInfo::printerInfo(out->answer.queue);
                if (info.isNull()) {
                    out->answer.state = State::NoSuchQueue;
                } else {
                    out->printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
                }
            }
        },
        platform);
    if (state != State::Ok) {
        return {Answer{state, QString(), QString()}, nullptr};
    }
    return std::move(*out);
}

Answer check(const QString& queue, CorePlatform& platform) {
    auto out = std::make_shared<Answer>();
    const State state = askOffWindow([out, queue](Question&) { *out = ask(queue); }, platform);
    return state == State::Ok ? *out : Answer{state, queue, QString()};
}

Answer submitPdf(const QString& queue, const QString& pdfPath, const QString& title,
                 CorePlatform& platform) {
    auto out = std::make_shared<Answer>(Answer{State::Ok, queue, QString()});
    const State state = askOffWindow(
        [out, name = queue.toUtf8(), file = QFile::encodeName(pdfPath),
         title = title.toUtf8()](Question& question) {
            cups_option_t* options = nullptr;
            const int count = cupsAddOption("document-format", "application/pdf", 0, &options);
            out->jobId = cupsPrintFile(name.constData(), file.constData(), title.constData(), count,
                                       options);
            cupsFreeOptions(count, options);
            if (out->jobId <= 0) {
                out->state = State::Refused;
                out->detail = QString::fromUtf8(cupsLastErrorString());
            } else if (question.isAbandoned()) {
                // Taken after the page went to a file: one copy is enough.
                cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), out->jobId, 0);
            }
        },
        platform);
    return state == State::Ok ? *out : Answer{state, queue, QString()};
}

}  // namespace printqueue
