// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Where the result files (the log, the sheet files, the PDFs of prints that found no printer)
// go. A program whose folder the user may write, such as a build or a portable copy, keeps them
// beside itself. An installed one, whose folder is not the user's to write or is the
// installation's own binary folder (whoever runs it, root included), keeps them in a visible
// folder of the user's documents instead, made when the first file needs it.
struct ResultsFolderChoice {
    QString folder;            // always ends with "/"
    bool inDocuments = false;  // made on first use, and named to the user on the first save
    QByteArray native;         // folder as the system's bytes, also where they are no valid text
};

// The choice, from the program's folder, whether the user may write it, the installation's
// binary folder and the user's documents folder. Folders are compared after resolving links.
ResultsFolderChoice chooseResultsFolder(const QString& programFolder, bool programFolderWritable,
                                        const QString& installBinFolder,
                                        const QString& documentsFolder);
// The same for the program's folder as the system gives it, as bytes; whether the user may
// write it is asked of the system.
ResultsFolderChoice chooseResultsFolder(const QByteArray& programFolder,
                                        const QString& installBinFolder,
                                        const QString& documentsFolder);

// The folder with one trailing "/" ("/" itself stays as it is).
QString withSeparator(const QString& folder);

// What a session has done with the results folder.
class ResultsFolderUse {
public:
    ResultsFolderUse() = default;
    explicit ResultsFolderUse(bool inDocuments, const QByteArray& native = QByteArray())
        : m_inDocuments(inDocuments), m_native(native) {}

    bool inDocuments() const { return m_inDocuments; }
    // The folder's bytes for the system: those it was chosen by while folder is still their
    // text, else folder's own.
    QByteArray native(const QString& folder) const;
    // Makes the folder when it is the documents one and not there yet (the program's own folder
    // is never made). False when it is not there and could not be made, with reason saying why
    // in the user's words: the one failure, which the files would only repeat.
    bool prepare(const QString& folder, QString& reason) const;
    // After files went into folder: the note naming it, the first time in this session for the
    // documents folder; empty otherwise.
    QString noteAfterSaving(const QString& folder);
    // The user was shown the folder some other way (the path of a saved PDF).
    void markNamed() { m_named = true; }

private:
    bool m_inDocuments = false;
    QByteArray m_native;
    bool m_named = false;
};

// The note naming the documents folder the results go to.
QString documentsFolderNote(const QString& folder);
