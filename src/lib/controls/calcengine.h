// The pop-up calculator's arithmetic: the display text, the two operands,
// the pending operator and the memory, worked like a desk calculator. No
// widgets: the dialog (popupcalc.h) shows the display and calls in here.
#pragma once

#include <string>

namespace lib {

class CalcEngine {
public:
    // INITCALC: operands and result 0, pending "+", typing on, state 1,
    // no error, display "0.0".
    void InitCalc();
    // The opening: memory 0, INITCALC, then the starting text read and
    // written back (a non-text start opens in the error state).
    void Open(const std::string* startText);

    void AutoClear();
    void Digit(char d);  // B0 ... B9
    void Dot();          // BDOT
    void PlusMinus();    // BPLUSMINUS
    void ClearEntry();   // BCLEARENTRY
    void Clear();        // BCLEAR
    // DOOPERATION: "C"/"c", "S", "I", "^%*+/-", "="; anything else nothing.
    void DoOperation(char c);
    void MemPlus() { Memory('+'); }
    void MemMinus() { Memory('-'); }
    void MemTimes() { Memory('*'); }
    void MemClear();
    void MemRecall();
    // SAVEEXITBUTTON's evaluation: a pending operator is applied first;
    // the answer is the text handed back.
    std::string SaveExit();
    // EDITCHANGE: tidies the display after the user edited it; answers the
    // caret position to set, or -1 to leave the caret where it is, or -2
    // for "at the end".
    int EditChange();

    // FLOATTOSTRING and STRINGTOFLOAT keep the decimals of the shown
    // number in `decimals`, the calculator's own: the program's decimals
    // setting is not theirs to change.
    std::string FloatToString(double f);
    double StringToFloat(const std::string& s);
    double MyDiv(double a, double b);

    std::string display;
    std::string memText;  // the MEMTEXT label
    double accumulator = 0, operand = 0, result = 0, memory = 0;
    char pending = '+';
    bool typing = true;
    int state = 1;
    bool error = false;
    int decimals = 2;

private:
    double Value() { return StringToFloat(display); }
    void Apply();
    void Show() { display = FloatToString(result); }
    void Memory(char op);
};

}  // namespace lib
