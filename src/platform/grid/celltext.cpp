#include "platform/grid/celltext.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace grid {
namespace {

bool IsNumber(char type) { return type == 'N' || type == 'F'; }

// Dates are edited with a four-digit year whatever the display picture: a
// two-digit year typed back would be read in the epoch's hundred years and
// could move the date by a century.
std::string EditPicture() {
    std::string picture = rt::SetDateFrmt();
    if (picture.find("YYYY") == std::string::npos) {
        size_t at = picture.find("YY");
        if (at != std::string::npos) picture.insert(at, "YY");
    }
    return picture;
}

int DateTextLength() { return static_cast<int>(rt::DToC(rt::Date{}, EditPicture()).size()); }

}  // namespace

QString TextFromBytes(const std::string& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString DisplayText(const ColumnInfo& column, const rt::Usual& value) {
    if (value.IsNil()) return {};
    switch (column.type) {
        case 'N':
        case 'F':
            if (!value.IsNumeric()) break;
            return QString::fromStdString(rt::AllTrim(rt::Str(value, column.width, column.decimals)));
        case 'D':
            return value.IsDate() && !value.AsDate().IsEmpty() ? QString::fromStdString(rt::DToC(value.AsDate()))
                                                               : QString();
        case 'L': return value.AsLogic() ? QStringLiteral("T") : QStringLiteral("F");
        case 'M': {
            QString text = TextFromBytes(value.AsStr());
            qsizetype end = text.indexOf(QLatin1Char('\n'));
            if (end >= 0) text = text.left(end).trimmed() + QStringLiteral(" \u2026");
            return text;
        }
        default: break;
    }
    if (value.IsString()) return TextFromBytes(rt::RTrim(value.AsStr()));
    return QString::fromStdString(rt::AsString(value));
}

QString EditText(const ColumnInfo& column, const rt::Usual& value) {
    if (column.type == 'M') return TextFromBytes(value.AsStr());
    if (column.type == 'D')
        return value.IsDate() && !value.AsDate().IsEmpty()
                   ? QString::fromStdString(rt::DToC(value.AsDate(), EditPicture()))
                   : QString();
    return DisplayText(column, value);
}

rt::Usual ParseInput(const ColumnInfo& column, const QString& text) {
    const QString t = text.trimmed();
    switch (column.type) {
        case 'C': return rt::Usual(text.toStdString());
        case 'N':
        case 'F': {
            if (t.isEmpty()) return rt::Usual();  // blanks: no number entered
            QString n = t;
            n.replace(QLatin1Char(','), QLatin1Char('.'));
            static const QRegularExpression kNumber(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
            if (kNumber.match(n).hasMatch()) return rt::Val(n.toStdString());
            return rt::Usual(t.toStdString());
        }
        case 'D': {
            if (t.isEmpty()) return rt::Usual(rt::Date{});
            rt::Date d = rt::CToD(t.toStdString());
            if (!d.IsEmpty()) return rt::Usual(d);
            return rt::Usual(t.toStdString());
        }
        case 'L': {
            if (t.isEmpty()) return rt::Usual(false);
            const QString u = t.toUpper();
            if (u == QLatin1String("T") || u == QLatin1String("Y")) return rt::Usual(true);
            if (u == QLatin1String("F") || u == QLatin1String("N")) return rt::Usual(false);
            return rt::Usual(t.toStdString());
        }
        default: return rt::Usual(text.toStdString());
    }
}

int InputLimit(const ColumnInfo& column) {
    if (column.type == 'D') return DateTextLength();
    if (column.type == 'L') return 1;
    return column.width > 0 ? column.width : 32767;
}

FieldValidator::FieldValidator(const ColumnInfo& column, QObject* parent) : QValidator(parent), column_(column) {}

QValidator::State FieldValidator::validate(QString& input, int&) const {
    if (column_.type == 'C' && input.toUcs4().size() > column_.width) return Invalid;
    if (input.size() > InputLimit(column_)) return Invalid;
    for (QChar ch : input) {
        const char16_t c = ch.unicode();
        const bool digit = c >= u'0' && c <= u'9';
        if (IsNumber(column_.type) && !(digit || c == u'+' || c == u'-' || c == u'.' || c == u',' || c == u' '))
            return Invalid;
        if (column_.type == 'D' && !(digit || c == u'/' || c == u'.' || c == u'-' || c == u' ')) return Invalid;
        if (column_.type == 'L' && !QStringLiteral("TtFfYyNn ").contains(ch)) return Invalid;
    }
    return Acceptable;
}

}  // namespace grid
