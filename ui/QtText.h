// The window edge of the text: the system's 1251 strings become QString here
// and nowhere else, and typed text comes back the same way.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace hv {

// 1251 -> QString; CR LF and lone CR become LF, which the widgets expect.
QString ToQ(std::string_view ansi);
// QString -> 1251; characters that 1251 cannot hold become '?'.
std::string FromQ(const QString& text);

}  // namespace hv
