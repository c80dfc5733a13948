#include "grid/codepage.h"

#include "data/codepage.h"

namespace enviozvr::grid {

std::u16string utf16FromWindows1252(std::string_view bytes) {
    const QString text = data::qstringFromWindows1252(bytes);
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}

QString qstringFromWindows1252(std::string_view bytes) {
    return data::qstringFromWindows1252(bytes);
}

std::string windows1252FromQString(const QString& text) {
    return data::windows1252FromQString(text);
}

}  // namespace enviozvr::grid
