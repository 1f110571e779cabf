// The calculator-style numeric entry of the right-aligned edits: each key
// turns the field's text and selection into a new text and caret, so that
// the text always follows the field's picture, never grows past the field's
// length and never holds more decimals than the field allows. No widgets:
// rightSLE (rightsle.h) feeds it the keys of its edit.
#pragma once

#include <cstdint>
#include <string>

namespace lib {

// A field format: type "N" (number) or "C" (a time typed like a
// number, picture "99:99"), length, decimals and picture.
struct FieldFormat {
    char type = 'N';
    int length = 10;
    int decimals = 2;
    std::string picture;  // empty: the length and decimals decide
    // The picture used for writing: the given one, or nines in the field's
    // length with a point before the decimals.
    std::string Template() const;
    bool IsTime() const { return type == 'C' && picture.find("99:99") != std::string::npos; }
};

class NumEntry {
public:
    explicit NumEntry(FieldFormat format) : format_(std::move(format)) {}
    const FieldFormat& Format() const { return format_; }

    // SETFIELD(text, factor): the text read as a number (without the strip
    // characters and the thousands separator), times the factor, written
    // through the picture.
    std::string SetField(const std::string& text, int factor);
    // The number a text shows.
    double ValueOf(const std::string& text) const;
    // Whether the text is the field's own writing of the number it shows.
    bool IsWritten(const std::string& text) const;
    // A whole text for the field (RSLEPASTE): the field's text for it, or
    // empty when the text is no number (no time) the field can hold.
    std::string Pasted(const std::string& text);
    // A time whose hours are below 24 and whose minutes are below 60; and
    // one that is so or can still become so by digits typed after it (they
    // push in from the right: "00:94" becomes 09:45, "25:99" never fits).
    bool TimeInRange(const std::string& text) const;
    bool TimeCanComplete(const std::string& text) const;

    struct Result {
        std::string text;
        int caret = 0;
        bool handled = true;  // false: the edit's own handling follows
        bool beep = false;    // INVALIDACTION
        bool modified = false;
    };
    // PROCESSNUM for a key: the Win32 virtual-key code and the character it
    // types (0 for none), on text with the selection [selStart, selEnd).
    Result ProcessKey(uint32_t vk, uint32_t ch, const std::string& text, int selStart, int selEnd);

    bool entryStarted = false;
    bool negativePending = false;
    // Removed from a text before it is read as a number; by default the
    // thousands separator followed by "()$ ".
    std::string stripChars;

private:
    // One key's work: the text being changed (in the result), the selection
    // the key came with, the caret and whether it stands in the decimals.
    struct Edit {
        Result result;
        int selStart = 0, selEnd = 0;
        int caret = 0;
        bool inDecimals = false;
        bool decimalsAllowed = false;  // the field has decimals and the picture a point
        int decimals = 0;              // 0 for a time
        char decimalSep = '.';
        std::string& text() { return result.text; }
        const std::string& text() const { return result.text; }
        // Where the decimal separator stands; the text's end without one.
        int SepPos() const;
        // The place that many characters from the right end: the text is
        // right-aligned, so rewriting it keeps the caret's distance from it.
        int PlaceFromRight(int fromRight) const;
    };
    Result Navigate(uint32_t vk, Edit& e);
    bool RemoveSelection(uint32_t vk, Edit& e);  // true: the key has done its work
    void StartNewEntry(uint32_t ch, Edit& e);
    void Erase(uint32_t vk, Edit& e);
    void EraseInDecimals(uint32_t vk, Edit& e);
    void EraseInWhole(uint32_t vk, Edit& e);
    void TypeCharacter(uint32_t ch, Edit& e);
    void TypeDecimalDigit(char digit, Edit& e);
    void TypeWholeDigit(char digit, Edit& e);
    Result Finish(const std::string& before, Edit& e);
    // The number written through the picture (a time into its places).
    std::string Write(double v) const;
    // The digits of a whole number written into the time picture's places;
    // stars when they do not fit.
    std::string WriteTime(int64_t digits) const;

    FieldFormat format_;
};

}  // namespace lib
