// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include "model/tavomodel.h"

// Where the result files (the log, the sheet files, the PDFs of prints that found no printer)
// go. A program whose folder the user may write, such as a build or a portable copy, keeps them
// beside itself. An installed one, whose folder is not the user's to write or is the
// installation's own binary folder (whoever runs it, root included), keeps them in a visible
// folder of the user's documents instead, made when the first file needs it.
//
// The choice, from the program's folder, whether the user may write it, the installation's
// binary folder and the user's documents folder. Folders are compared after resolving links.
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
// After files went into the folder: the note naming it, the first time in this session for the
// documents folder; empty otherwise.
QString noteAfterSaving(ResultsFolder& folder);

// The user's documents folder: homeDocuments, the one in the home the environment names (home,
// as HOME gives it), when that home is usable; else, with HOME unset, relative or a home the
// results cannot go into, the one in the account's home as the system records it. Nothing is
// made. When no home is usable it is still the account's (or HOME's, for an account without a
// home), so the save that cannot use it names it and why; passedOver gets the others tried, with
// why they could not be used. Empty with neither.
QString chooseDocumentsFolder(const QString& home, const QString& homeDocuments,
                              const QString& accountHome, QList<UnusableFolder>* passedOver);
