#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

namespace velmora {

// True for a name that stands for one file inside a folder: not empty, not
// "." or "..", and holding no "/" (nor a zero byte). Only "/" separates
// folders here; ":" and "\" are ordinary characters of a name.
bool isPlainFileName(QByteArrayView name);

// "Cannot create file %1: "%2" is not a plain file name".
QString notPlainFileNameText(const QByteArray& path, const QByteArray& name);

// A name or path as a user reads it: bytes below 32 shown as \r, \n, \t or
// \xNN, so that a planted line break cannot hide in a message.
QString visibleName(const QByteArray& bytes);

// A path split after its last "/": the folder (empty when there is no "/")
// and the file name.
struct FolderAndName {
    QByteArray folder;
    QByteArray name;
};
FolderAndName splitPath(const QByteArray& path);

enum class WriteResult { Written, Unchanged };

// What a written file holds, which decides how carefully it is replaced.
enum class FileUse {
    // A generated page: a regular file that already holds the bytes is left
    // alone, and a replaced file keeps its permissions.
    Page,
    // A file that holds the user's state (the submission list): always
    // written, on the disk before it replaces the old one; a FIFO, device,
    // socket or folder at the name is refused, never replaced. When the
    // folder cannot hold the temporary file, a writable regular file at the
    // name is written in place instead.
    State,
    // The same, readable and writable by its owner only (the settings file,
    // which holds the FTP password).
    PrivateState,
};

// Writes one file, `name` inside `folder`, both taken byte for byte (a
// folder without a trailing "/" is fine; an empty folder is the current
// directory). The bytes go to a new file in the same folder that is then
// renamed over the name, so a link planted there is replaced, never
// followed, and a failure leaves the old file whole. A regular file that
// already holds exactly these bytes is left alone, its time included. A
// read-only file, a folder in the way or any other failure raises
// FileError "Cannot create file %s"; a name that is not plain is refused
// before anything is touched.
WriteResult writeFileInFolder(const QByteArray& folder, const QByteArray& name,
                              QByteArrayView content, FileUse use = FileUse::Page);

// The same for a whole path: the folder is everything up to its last "/".
WriteResult writeFileAtPath(const QString& path, QByteArrayView content, FileUse use);

// The same, the bytes read from `source` (an open file, read from its start
// to its end).
WriteResult copyFileInFolder(const QByteArray& folder, const QByteArray& name, QFile& source);

}  // namespace velmora
