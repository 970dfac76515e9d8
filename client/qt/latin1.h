// The one place where the logic's single-byte text meets Qt strings.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace tarrow::qt {

inline QString toQString(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters outside Latin-1 become '?', as the single-byte code page cannot hold them.
inline std::string toStdString(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline std::string toStdString(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline QByteArray toByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace tarrow::qt
