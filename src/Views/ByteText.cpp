// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/ByteText.h"

#include "Workflows/ByteCountFormat.h"

#include <QCoreApplication>

namespace ByteText {

// The English text fixes the rounding; only its number and words are put in the locale's.
QString text(std::int64_t bytes, const QLocale& locale) {
    const QString english = QString::fromStdString(ByteCountFormat::text(bytes));
    if (bytes == 0)
        return QCoreApplication::translate("ByteText", "Zero KB");
    if (bytes == 1)
        return QCoreApplication::translate("ByteText", "1 byte");
    if (bytes > 1 && bytes < 1000) {
        const int count = static_cast<int>(bytes);
        //: A size below a kilobyte (never 1 in English, which has its own text).
        return QCoreApplication::translate("ByteText", "%n bytes", "", count);
    }
    const qsizetype space = english.indexOf(QLatin1Char(' '));
    QString number = english.left(space);
    number.replace(QLatin1Char('.'), locale.decimalPoint());
    return number + english.mid(space);
}

} // namespace ByteText
