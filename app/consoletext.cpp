#include "app/consoletext.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <vector>

#ifndef _WIN32
#include <iconv.h>
#include <langinfo.h>
#endif

#include "data/codepage.h"

namespace enviozvr::app {

namespace {

bool isUtf8(const std::string& encoding) {
    return encoding == "UTF-8" || encoding == "utf-8" || encoding == "UTF8" || encoding == "utf8";
}

#ifndef _WIN32
// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Converts with iconv; an input it cannot convert is written as `replacement` and skipped
// (`step` says how many input bytes belong to the character at a position).
std::string convert(std::string_view in, const std::string& from, const std::string& to,
                    std::string_view replacement, std::size_t (*step)(unsigned char)) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    // (iconv_t)-1 is how iconv_open reports failure.
    if (cd == reinterpret_cast<iconv_t>(-1))  // NOLINT(performance-no-int-to-ptr)
        return std::string(in);
    std::string out;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // Invalid or unconvertible input (EILSEQ), or a sequence cut short (EINVAL).
        out.append(replacement);
        const std::size_t skip = std::min(srcLeft, step(static_cast<unsigned char>(*src)));
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

std::size_t oneByte(unsigned char) { return 1; }
#endif

}  // namespace

std::string localeEncoding() {
#ifdef _WIN32
    return "System";
#else
    std::string codeset = nl_langinfo(CODESET);
    if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII" ||
        codeset == "US-ASCII")
        return "UTF-8";
    return codeset;
#endif
}

std::string windows1252FromEncoding(std::string_view bytes, const std::string& encoding) {
    QString text;
#ifdef _WIN32
    (void)encoding;
    text = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
#else
    const std::string utf8 = isUtf8(encoding)
                                 ? std::string(bytes)
                                 : convert(bytes, encoding, "UTF-8", "\xEF\xBF\xBD", oneByte);
    text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
#endif
    text.replace(QChar(0xFFFD), u'?');  // bytes the encoding does not know
    return data::windows1252FromQString(text);
}

std::string encodingFromWindows1252(std::string_view text, const std::string& encoding) {
#ifdef _WIN32
    (void)encoding;
    const QByteArray local = data::qstringFromWindows1252(text).toLocal8Bit();
    return std::string(local.constData(), static_cast<std::size_t>(local.size()));
#else
    const QByteArray utf8 = data::qstringFromWindows1252(text).toUtf8();
    if (isUtf8(encoding))
        return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return convert(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                   "UTF-8", encoding, "?", utf8Length);
#endif
}

std::string argumentText(std::string_view raw) {
    return windows1252FromEncoding(raw, localeEncoding());
}

std::string consoleText(std::string_view text) {
    return encodingFromWindows1252(text, localeEncoding());
}

}  // namespace enviozvr::app
