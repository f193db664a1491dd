// SPDX-License-Identifier: MIT
#include "platform/printqueue.h"

#include <cups/cups.h>
#include <QFile>

namespace printqueue {

namespace {

QString lastError() {
    const char* text = cupsLastErrorString();
    return text != nullptr && *text != '\0' ? QString::fromUtf8(text) : QString();
}

QString option(const cups_dest_t& dest, const char* name) {
    const char* value = cupsGetOption(name, dest.num_options, dest.options);
    return value != nullptr ? QString::fromUtf8(value) : QString();
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
    static const char* const wanted[] = {"printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 1, nullptr,
                  wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    ipp_attribute_t* attribute = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    const char* text = attribute != nullptr ? ippGetString(attribute, 0, nullptr) : nullptr;
    const QString message = text != nullptr ? QString::fromUtf8(text) : QString();
    ippDelete(response);
    return message;
}

}  // namespace

Check check(const QString& queue) {
    const QByteArray name = queue.toUtf8();
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (dest == nullptr) {
        const QString why = lastError();
        const QString detail = why.isEmpty() ? QString() : QStringLiteral(": ") + why;
        // A server that answered does not know the queue; otherwise it could not be asked.
        if (cupsLastError() < IPP_STATUS_ERROR_INTERNAL) {
            return {false,
                    QStringLiteral("The printer \"%1\" does not exist%2").arg(queue, detail)};
        }
        return {
            false,
            QStringLiteral("The print server cannot be asked about \"%1\"%2").arg(queue, detail)};
    }
    Check result{true, QString()};
    if (option(*dest, "printer-is-accepting-jobs") == u"false") {
        const QString message = stateMessage(*dest);
        result = {false,
                  QStringLiteral("The printer \"%1\" is not accepting jobs%2")
                      .arg(queue, message.isEmpty() ? QString() : QStringLiteral(": ") + message)};
    }
    cupsFreeDests(1, dest);
    return result;
}

Submission submitPdf(const QString& queue, const QString& pdfPath, const QString& title) {
    cups_option_t* options = nullptr;
    int count = cupsAddOption("document-format", "application/pdf", 0, &options);
    const int job =
        cupsPrintFile(queue.toUtf8().constData(), QFile::encodeName(pdfPath).constData(),
                      title.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (job > 0) {
        return {job, QString()};
    }
    const QString why = lastError();
    return {0, why.isEmpty() ? QStringLiteral("The print server did not take the job") : why};
}

}  // namespace printqueue
