#include "ui/QtText.h"

#include "platform/CodePage.h"

namespace hv {

QString ToQ(std::string_view ansi) {
    QString s = QString::fromStdString(AnsiToUtf8(ansi));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QChar('\r'), QChar('\n'));
    return s;
}

std::string FromQ(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToAnsi(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace hv
