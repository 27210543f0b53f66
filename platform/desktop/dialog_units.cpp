// The dialog units of a font.
#include "platform/desktop/dialog_units.h"

#include <QFontMetrics>
#include <QString>

#include <algorithm>

int32_t DialogUnits::scaled(int32_t value, int32_t multiplier, int32_t divisor) {
    const int64_t product = int64_t{value} * multiplier;
    const int64_t half = divisor / 2;
    return static_cast<int32_t>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

DialogUnits dialog_units_of(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int32_t width = metrics.horizontalAdvance(letters);
    DialogUnits units;
    units.base_x = std::max<int32_t>(1, (width / 26 + 1) / 2);
    units.base_y = std::max<int32_t>(1, metrics.height());
    return units;
}
