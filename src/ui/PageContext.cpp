#include "ui/PageContext.h"

#include <QLocale>

namespace halvetra {

char LocaleDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? '.' : point.at(0).toLatin1() ? point.at(0).toLatin1() : '.';
}

}  // namespace halvetra
