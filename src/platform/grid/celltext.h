// Cell text: how a field value is shown and edited in the grid, and how
// typed text becomes a value for the field.
//
// Field text is bytes. Like the rest of the GUI layer the grid reads it as
// UTF-8; bytes that are not valid UTF-8 (tables written by older programs in
// a single-byte code page) are read as Latin-1 so that they still show. Typed
// text is stored as UTF-8 and limited to the field's width in bytes, so that
// nothing is cut in the middle of a character.
#pragma once

#include <QString>
#include <QValidator>

#include <string>

#include "platform/grid/rowsource.h"
#include "platform/runtime/usual.h"

namespace grid {

QString TextFromBytes(const std::string& bytes);

// The text a cell shows: character fields without trailing blanks, numbers
// with the field's decimals, dates under the date picture (SetDateFrmt),
// logic as T or F, a memo's first line.
QString DisplayText(const ColumnInfo& column, const rt::Usual& value);
// The text an editor starts with: the display text, trailing blanks gone;
// dates with a four-digit year (so that an edit keeps the century).
QString EditText(const ColumnInfo& column, const rt::Usual& value);
// The value to store for typed text. Blank text stores the field's empty
// value. Text that cannot be a value of the field's type (a date that does
// not exist, "X" for a logic) is passed on as text: the server then refuses
// it through its error path instead of the grid storing something else.
rt::Usual ParseInput(const ColumnInfo& column, const QString& text);
// The most characters an editor takes for the field.
int InputLimit(const ColumnInfo& column);

// Keeps typed text within the field: its width in characters (bytes of a
// single-byte code page), and for numbers,
// dates and logic fields the characters they can hold.
class FieldValidator : public QValidator {
public:
    FieldValidator(const ColumnInfo& column, QObject* parent);
    State validate(QString& input, int& pos) const override;

private:
    ColumnInfo column_;
};

}  // namespace grid
