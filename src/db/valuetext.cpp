#include "db/valuetext.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::db {

QString numberText(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QLocale::c().toString(value);
    if (value == 0)
        return u"0"_s; // also for -0
    // 15 significant digits, written without exponent, trailing zeros dropped.
    const int magnitude = int(std::floor(std::log10(std::fabs(value))));
    const int decimals = std::clamp(14 - magnitude, 0, 340);
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == u"-0"_s)
        return u"0"_s;
    return text;
}

QString valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Bool:
        return value.toBool() ? u"True"_s : u"False"_s;
    case QMetaType::QDateTime:
        return value.toDateTime().toString(u"yyyy/MM/dd hh:mm:ss"_s);
    case QMetaType::QDate:
        return value.toDate().toString(u"yyyy/MM/dd"_s);
    case QMetaType::QTime:
        return value.toTime().toString(u"hh:mm:ss"_s);
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

double basicVal(const QString &text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            s += c;
    if (s.startsWith(u"&H"_s, Qt::CaseInsensitive) || s.startsWith(u"&O"_s, Qt::CaseInsensitive)) {
        const int base = s[1].toUpper() == u'H' ? 16 : 8;
        qint64 v = 0;
        for (qsizetype i = 2; i < s.size(); ++i) {
            const int digit = s[i].isDigit() ? s[i].digitValue()
                                             : (base == 16 && s[i].toUpper() >= u'A' && s[i].toUpper() <= u'F'
                                                     ? s[i].toUpper().unicode() - u'A' + 10
                                                     : -1);
            if (digit < 0 || digit >= base)
                break;
            v = v * base + digit;
        }
        return double(v);
    }
    qsizetype i = 0;
    QString number;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        number += s[i++];
    bool digits = false, dot = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= u'0' && s[i] <= u'9') {
            number += s[i];
            digits = true;
        } else if (s[i] == u'.' && !dot) {
            number += s[i];
            dot = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    // An exponent counts only when digits follow it ("1e" is 1, "1e3" is 1000; Basic also takes D).
    if (i < s.size() && (s[i].toUpper() == u'E' || s[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        QString exponent = u"e"_s;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent += s[j++];
        const qsizetype start = j;
        while (j < s.size() && s[j] >= u'0' && s[j] <= u'9')
            exponent += s[j++];
        if (j > start)
            number += exponent;
    }
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok ? v : 0;
}

} // namespace tavo::db
