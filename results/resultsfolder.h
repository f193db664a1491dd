// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include "model/tavomodel.h"

// Where the result files (the log, the sheet files, the PDFs of prints that found no printer)
// go: beside a program whose folder the user may write (a build, a portable copy); for an
// installed one (its folder not the user's, or the installation's binary folder, whoever runs
// it), in a folder of the user's documents made when the first file needs it. Folders are
// compared after resolving links.
ResultsFolder chooseResultsFolder(const QString& programFolder, bool programFolderWritable,
                                  const QString& installBinFolder, const QString& documentsFolder);
// The same for the program's folder as the system gives it, as bytes; whether the user may
// write it is asked of the system.
ResultsFolder chooseResultsFolder(const QByteArray& programFolder, const QString& installBinFolder,
                                  const QString& documentsFolder);
// The folder's bytes for the system: those it was chosen by while its path is still their text,
// else its path's own.
QByteArray nativeFolder(const ResultsFolder& folder);

// Makes the folder when it is the documents one and not there yet (the program's own folder is
// never made). False when it is not there and could not be made, with reason saying why in the
// user's words: the one failure, which the files would only repeat.
bool prepareResultsFolder(const ResultsFolder& folder, QString& reason);
// After files went into the folder: the note naming it, once a session, for the documents one.
QString noteAfterSaving(ResultsFolder& folder);

// The user's documents folder: homeDocuments, in HOME's home, when that home is usable; else
// (HOME unset, relative or unusable) the one in the account's home, usable or not, so the save
// that cannot use it names it and why; passedOver gets HOME's, with why. Nothing is made. Empty
// with no home at all.
QString chooseDocumentsFolder(const QString& home, const QString& homeDocuments,
                              const QString& accountHome, QList<UnusableFolder>* passedOver);
