// The platform's side of the log: the home folder, and opening a path without ever waiting for another
// process.
#pragma once

#include <QFile>
#include <QString>

namespace logging {

// The user's home folder as a clean absolute path, also when HOME is unset or empty.
QString homeFolder();

// False for a path that the system's file names cannot hold as given: it would be opened under another
// name.
bool fitsFileNameEncoding(const QString &path);

// Opens a regular file for reading, or for appending (creating it). A FIFO, a device or a folder is
// refused without being opened, and the open itself never waits. Returns why it failed, empty when open.
QString openRegularFile(QFile &file, const QString &path, QIODevice::OpenMode mode);

// Why a file or folder of the program's own state must not be used: a symbolic link, another user's or
// one that others may write to could have been put there by anyone. Empty when it may, or is not there.
QString untrustedReason(const QString &path);
// Opens such a file for reading, refusing it, as above, also when it was swapped since it was looked at.
QString openPrivateFile(QFile &file, const QString &path);
// Makes the folder, its parents as usual and the folder itself for the user alone; true when it is there.
bool makePrivateFolder(const QString &path);

// Has the system write what the open file holds to the disk itself.
void syncToDisk(QFile &file);

} // namespace logging
