// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace corvane::media {

// File names are bytes on Linux and need not be UTF-8. Bytes that are not valid UTF-8 are
// carried as lone surrogates U+DC80..U+DCFF, so every name converts back to the same bytes.
std::u16string decodePath(std::string_view bytes);
std::string encodePath(std::u16string_view name);

inline QString pathToQString(std::string_view bytes) {
    const std::u16string u = decodePath(bytes);
    return QString(reinterpret_cast<const QChar*>(u.data()), static_cast<qsizetype>(u.size()));
}
inline std::string qstringToPath(const QString& name) {
    return encodePath(std::u16string_view(reinterpret_cast<const char16_t*>(name.utf16()),
                                          static_cast<std::size_t>(name.size())));
}
inline std::u16string toU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<std::size_t>(s.size()));
}
inline QString fromU16(const std::u16string& s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

}  // namespace corvane::media
