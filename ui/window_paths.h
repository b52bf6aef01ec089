// How the windows hold paths: a path is the byte string the system gave and stays one from
// the folder scan, the command line, the file dialog and drops to the reader, the lists, the
// desktop's opener and the clipboard. Only its display text is converted; list entries keep
// the bytes as item data beside it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMimeData;

namespace dorvan::ui {

// The item data role that holds an entry's path bytes (a QByteArray) in every list.
inline constexpr int kPathBytesRole = Qt::UserRole;

// The text that shows a path: each name as UTF-8, else Shift-JIS, else with U+FFFD.
QString DisplayPath(std::string_view path);

QByteArray PathBytes(std::string_view path);
std::string PathOfBytes(const QByteArray& bytes);

// A file URL that names exactly these bytes (every byte outside ASCII percent-encoded).
QUrl FileUrl(std::string_view path);
// The path bytes of a local file URL, percent-encoded bytes taken as they are; nullopt for
// an address that is not a local file.
std::optional<std::string> LocalPathOfUrl(const QUrl& url);

// The existing paths a name from Qt's file system classes (a file dialog's choice, a folder
// of the tree) stands for: Qt shows names that are not UTF-8 with replacement characters,
// which name no file. Usually one; none when nothing matches any more.
std::vector<std::string> PathsOfQtName(const QString& name);

// What a copy of paths puts on the clipboard: the shown paths as text, one a line, and the
// exact paths as a URI list, which a file manager or a drop on dorvan takes back unchanged.
QMimeData* PathsMimeData(const std::vector<std::string>& paths);

}  // namespace dorvan::ui
