#include "util/dates.h"

#include "util/globals.h"
#include "util/report.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tavo {

namespace {

QString twoDigits(int n)
{
    return u"%1"_s.arg(n, 2, 10, QChar(u'0'));
}

// The Minguo year, at least two digits (88 for 1999, 100 for 2011).
QString rocYear(const QDate &d)
{
    const int y = d.year() - 1911;
    return y < 0 ? u"-"_s + twoDigits(-y) : twoDigits(y);
}

} // namespace

QDate toDate(const QString &text)
{
    static const QRegularExpression pattern(
        uR"(^\s*(\d{4})([/-])(\d{1,2})\2(\d{1,2})(?:[ T]+(\d{1,2}):(\d{2})(?::(\d{2})(?:\.\d+)?)?)?\s*$)"_s);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    const QDate date(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    if (!date.isValid())
        return {};
    if (m.hasCaptured(5)) {
        const int seconds = m.hasCaptured(7) ? m.captured(7).toInt() : 0;
        if (!QTime::isValid(m.captured(5).toInt(), m.captured(6).toInt(), seconds))
            return {};
    }
    return date;
}

bool isDateText(const QString &text)
{
    return toDate(text).isValid();
}

QDate toDate(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate();
    case QMetaType::QDateTime:
        return value.toDateTime().date();
    case QMetaType::QString:
        return toDate(value.toString());
    case QMetaType::QByteArray:
        return toDate(QString::fromLatin1(value.toByteArray()));
    default:
        return {};
    }
}

QString formatBasicDate(const QDate &date, const QString &format)
{
    // Basic's Format: "m" is the month except after an hour or before seconds (then minutes),
    // "n" minutes, "/" the date separator, text in quotes or after a backslash is kept as it is.
    const QLocale names = QLocale::c();
    QString out;
    const QString f = format;
    qsizetype i = 0;
    bool afterHour = false;
    const auto run = [&](QChar c) {
        qsizetype n = 0;
        while (i + n < f.size() && f[i + n].toLower() == c)
            ++n;
        return n;
    };
    while (i < f.size()) {
        const QChar c = f[i];
        const QChar lower = c.toLower();
        if (c == u'"') {
            const qsizetype close = f.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? f.size() : close;
            out += f.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == u'\\') {
            if (i + 1 < f.size())
                out += f[i + 1];
            i += 2;
            continue;
        }
        if (lower == u'y') {
            const qsizetype n = run(u'y');
            if (n >= 3)
                out += u"%1"_s.arg(date.year(), 4, 10, QChar(u'0'));
            else if (n == 2)
                out += twoDigits(date.year() % 100);
            else
                out += QString::number(date.dayOfYear());
            i += n;
            continue;
        }
        if (lower == u'd') {
            const qsizetype n = run(u'd');
            if (n == 1)
                out += QString::number(date.day());
            else if (n == 2)
                out += twoDigits(date.day());
            else if (n == 3)
                out += names.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else
                out += names.dayName(date.dayOfWeek(), QLocale::LongFormat);
            i += n;
            continue;
        }
        if (lower == u'm') {
            const qsizetype n = run(u'm');
            qsizetype next = i + n;
            while (next < f.size() && !f[next].isLetter())
                ++next;
            const bool minutes = n <= 2 && (afterHour || (next < f.size() && f[next].toLower() == u's'));
            if (minutes)
                out += n == 2 ? u"00"_s : u"0"_s;
            else if (n == 1)
                out += QString::number(date.month());
            else if (n == 2)
                out += twoDigits(date.month());
            else if (n == 3)
                out += names.monthName(date.month(), QLocale::ShortFormat);
            else
                out += names.monthName(date.month(), QLocale::LongFormat);
            afterHour = false;
            i += n;
            continue;
        }
        if (lower == u'h' || lower == u'n' || lower == u's') {
            // Display dates carry no time: every time field is zero.
            const qsizetype n = run(lower);
            out += n >= 2 ? u"00"_s : u"0"_s;
            afterHour = lower == u'h';
            i += n;
            continue;
        }
        if (lower == u'q') {
            out += QString::number((date.month() - 1) / 3 + 1);
            ++i;
            continue;
        }
        if (lower == u'w') {
            const qsizetype n = run(u'w');
            out += n >= 2 ? QString::number(date.weekNumber()) : QString::number(date.dayOfWeek() % 7 + 1);
            i += n;
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

QString DBDateDisp(const QVariant &value, const QString &format)
{
    try {
        const QDate d = toDate(value);
        if (!d.isValid())
            return {};
        QString fmt = format.isEmpty() ? g().gCalendar : format;
        if (fmt.isEmpty())
            fmt = u"YYYY/MM/DD"_s; // an empty format would show every date as nothing
        const QString sep = g().gDateSep;
        const QString upper = fmt.toUpper();
        if (upper == u"CCMMDD"_s)
            return rocYear(d) + twoDigits(d.month()) + twoDigits(d.day());
        if (upper == u"CC/MM/DD"_s)
            return rocYear(d) + sep + twoDigits(d.month()) + sep + twoDigits(d.day());
        if (upper == u"YYYY/MM/DD"_s)
            return u"%1"_s.arg(d.year(), 4, 10, QChar(u'0')) + sep + twoDigits(d.month()) + sep
                + twoDigits(d.day());
        if (upper == u"YY/MM/DD"_s)
            return twoDigits(d.year() % 100) + sep + twoDigits(d.month()) + sep + twoDigits(d.day());
        return formatBasicDate(d, fmt);
    } catch (...) {
        ShowErrMsg(tags::DBDateDisp);
        return {};
    }
}

} // namespace tavo
