#pragma once
// Window tests that run once with a point and once with a comma as the
// locale's decimal separator.
#include <QLocale>
#include <QStringList>
#include <QtTest>

namespace halvetra {

// The rows "point" and "comma" with the columns locale and separator.
inline void AddSeparatorRows() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QChar>("separator");
    QTest::newRow("point") << QLocale::c() << QChar('.');
    QTest::newRow("comma") << QLocale(QLocale::German, QLocale::Germany) << QChar(',');
}

// In a test of those rows: makes the row's locale the default (the tests'
// init() and cleanup() set C again) and gives the row's separator.
inline QChar UseRowLocale() {
    QFETCH(QLocale, locale);
    QFETCH(QChar, separator);
    QLocale::setDefault(locale);
    return separator;
}

// Texts written with a point, as they read under `separator`.
inline QStringList withSeparator(QStringList texts, QChar separator) {
    for (QString& t : texts) t.replace('.', separator);
    return texts;
}

}  // namespace halvetra
