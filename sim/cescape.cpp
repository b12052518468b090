#include "sim/cescape.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

QByteArray decodeCEscapes(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 >= text.size()) {
            out.append(c);
            continue;
        }
        const char e = text.at(++i);
        switch (e) {
        case 'r':
            out.append('\r');
            break;
        case 'n':
            out.append('\n');
            break;
        case 't':
            out.append('\t');
            break;
        case '0':
            out.append('\0');
            break;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < text.size() && hexDigit(text.at(i + 1)) >= 0) {
                value = value * 16 + hexDigit(text.at(++i));
                ++digits;
            }
            if (digits == 0)
                out.append('x');
            else
                out.append(char(value));
            break;
        }
        default:
            out.append(e);
            break;
        }
    }
    return out;
}
