#include "ui/window_paths.h"

#include <QFile>
#include <QMimeData>

#include "files/path_text.h"

namespace dorvan::ui {

QString DisplayPath(std::string_view path) { return QString::fromStdU16String(PathDisplayText(path)); }

QByteArray PathBytes(std::string_view path) {
  return QByteArray(path.data(), static_cast<qsizetype>(path.size()));
}

std::string PathOfBytes(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QUrl FileUrl(std::string_view path) {
  // QUrl::fromLocalFile goes through QString and would turn bytes that are not UTF-8 into
  // U+FFFD; percent-encoding the bytes keeps them.
  return QUrl::fromEncoded("file://" + PathBytes(path).toPercentEncoding("/"), QUrl::StrictMode);
}

std::optional<std::string> LocalPathOfUrl(const QUrl& url) {
  if (!url.isLocalFile()) return std::nullopt;
  // The encoded form still holds percent-encoded bytes that are not UTF-8, which the decoded
  // form (toLocalFile) has replaced.
  return PathOfBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

std::vector<std::string> PathsOfQtName(const QString& name) {
  return PathsShownAs(name.toStdU16String(), [](std::string_view entry) {
    return QFile::decodeName(PathBytes(entry)).toStdU16String();
  });
}

QMimeData* PathsMimeData(const std::vector<std::string>& paths) {
  auto* data = new QMimeData;
  QStringList lines;
  QList<QUrl> urls;
  for (const std::string& path : paths) {
    lines << DisplayPath(path);
    urls << FileUrl(path);
  }
  data->setUrls(urls);
  data->setText(lines.join(QLatin1Char('\n')));
  return data;
}

}  // namespace dorvan::ui
