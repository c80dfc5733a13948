#include "ui/gridclipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "grid/clipboardcopy.h"

namespace enviozvr::ui {

namespace {

#ifdef Q_OS_WIN
constexpr bool kWindowsClipboard = true;
#else
constexpr bool kWindowsClipboard = false;
#endif

QString fromUtf16Le(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size() / 2), Qt::Uninitialized);
    QChar* out = text.data();
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        *out++ = QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

}  // namespace

QString windowsClipboardMime(const char* registeredName) {
    return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"")
        .arg(QString::fromLatin1(registeredName));
}

std::unique_ptr<QMimeData> gridCopyMimeData(grid::DataGrid& grid, bool wholeGrid) {
    using grid::ClipboardFormat;
    auto mime = std::make_unique<QMimeData>();
    grid::copyGridDocuments(
        grid, wholeGrid, kWindowsClipboard, [&](ClipboardFormat format, std::string_view bytes) {
            const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
            switch (format) {
                case ClipboardFormat::Text:
                    // CF_TEXT comes from setText's text where there is such a format.
                    break;
                case ClipboardFormat::UnicodeText:
                    mime->setText(
                        fromUtf16Le(kWindowsClipboard ? bytes.substr(0, bytes.size() - 2) : bytes));
                    break;
                case ClipboardFormat::Csv:
                    mime->setData(QString::fromLatin1(kMimeCsv),
                                  kWindowsClipboard ? data.chopped(1) : data);
                    break;
                case ClipboardFormat::RichText:
                    mime->setData(QString::fromLatin1(kMimeRtf),
                                  kWindowsClipboard ? data.chopped(1) : data);
                    mime->setData(QString::fromLatin1(kMimeRtfApplication),
                                  kWindowsClipboard ? data.chopped(1) : data);
                    break;
                case ClipboardFormat::DBCells:
                    mime->setData(QString::fromLatin1(kMimeDBCells), data);
                    break;
            }
            if (kWindowsClipboard && format != ClipboardFormat::Text &&
                format != ClipboardFormat::UnicodeText)
                mime->setData(windowsClipboardMime(grid::clipboardFormatName(format)), data);
        });
    return mime;
}

void CopyGridToClipboard(grid::DataGrid& grid, bool wholeGrid) {
    std::unique_ptr<QMimeData> mime = gridCopyMimeData(grid, wholeGrid);
    QGuiApplication::clipboard()->setMimeData(mime.release());
}

}  // namespace enviozvr::ui
