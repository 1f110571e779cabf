// rightSLE: a right-aligned edit for numbers (typed like a desk calculator),
// times ("99:99") and dates, with an optional button beside it that opens
// the pop-up calculator; DateSLE: the date edit with its calendar button.
#pragma once

#include <memory>

#include "lib/controls/bitmapbutton.h"
#include "lib/controls/numentry.h"
#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace lib {

class RightSle : public gui::SingleLineEdit {
    QZ_OBJECT(RightSle)
public:
    RightSle() = default;
    // INIT(owner, id [, point, dimension]).
    virtual void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }

    // The field format: type "N", "C" (times "99:99") or "D".
    void SetFieldFormat(const FieldFormat& format);
    const FieldFormat& Format() const { return entry_.Format(); }
    bool IsNumeric() const { return format_.type == 'N' || format_.IsTime(); }
    bool IsDate() const { return format_.type == 'D'; }
    // The button beside the field that calls SYMMETHOD (SHOWCALC for the
    // calculator); the field's width shrinks by its width.
    std::shared_ptr<SleButton> AddButton(const std::string& up, const std::string& down);
    SleButton* Pb() const { return button_.get(); }
    rt::Usual PbObject() const;

    // FIELDSPEC, late-bound: the format as {type, length, decimals,
    // picture}; assigned a FIELDSPEC object (VALTYPE, LENGTH, DECIMALS) or
    // such an array, whose picture makes a time field ("99:99"). PICTURE
    // alone changes the picture. A value of another kind raises an
    // argument error and keeps the format.
    rt::Usual FieldSpecValue() const;
    rt::Usual SetFieldSpec(const rt::Usual& value);
    std::string Picture() const { return format_.picture; }
    std::string SetPicture(const std::string& picture);
    rt::Usual Value() const;
    // ZEROPAD: the value with leading zeros to the field's length ("-0012.50"
    // for -12.5 in a field of 8 with 2 decimals); a text value is read as a
    // number first.
    std::string ZeroPad() const;
    // SETORIGIN: moves the field to a point (gui::Point, pixels from the top
    // left of the owner's surface); the button stays beside it, and the pair
    // is pulled back inside the owner's surface when it would leave it.
    void SetOrigin(const rt::Usual& point);
    // The field and its button together.
    void Show() override;
    void Hide() override;
    void Enable() override;
    void Disable() override;
    // OWNERALIGNMENT (the control's): the button follows the field wherever
    // the owner's alignment moves or sizes it.
    std::string SetField(const std::string& text, int factor) { return entry_.SetField(text, factor); }
    bool SetReadOnly(bool on);
    bool ReadOnly() const;
    void ShowPb();
    void ProcessEnter();
    void InvalidAction();
    int Beeps() const { return beeps_; }
    void ShowCalc();
    void ShowCalendar();
    // The end of SHOWCALC: the number SAVE/EXIT handed back goes into the
    // field; none, "Error" or one the picture cannot hold changes nothing.
    void TakeCalcResult(const class PopupCalc& calc);
    // The calendar dialog the field opened last (under the test hooks a
    // modal dialog does not wait: the test picks, then calls
    // TakeCalendarDate as the end of SHOWCALENDAR).
    std::shared_ptr<class DlgPeCalendar> LastCalendar() const { return lastCalendar_.lock(); }
    void TakeCalendarDate();
    // Keypad + and - step the date by a day.
    void CalKeyDown(uint32_t vk);
    void RslePaste();
    // PROCESSNUM: true when the key was handled here (the edit does not see it).
    bool ProcessNum(const gui::KeyEvent& key);
    bool Dispatch(gui::Event& event) override;
    void Destroy() override;
    NumEntry& Entry() { return entry_; }

    bool LREMEMBERPOSITION = false;
    bool LSENDFROMBUTTON = false;
    rt::Symbol SYMMETHOD = rt::Symbol("SHOWCALENDAR");
    int64_t NDIRECTION = 1;
    int64_t FIRSTDAYOFTHEWEEK = 99;
    bool LALIGNCALENDARLEFT = true;
    bool doubleAsToday = false;
    // DOUBLEASTODAY, OBEYFOCUS, PROCESSENTERKEY: logic only.
    bool DoubleAsToday() const { return doubleAsToday; }
    rt::Usual SetDoubleAsToday(const rt::Usual& v) { return StoreLogic(doubleAsToday, v, "DOUBLEASTODAY"); }
    bool ObeyFocus() const { return obeyFocus_; }
    rt::Usual SetObeyFocus(const rt::Usual& v) { return StoreLogic(obeyFocus_, v, "OBEYFOCUS"); }
    bool ProcessEnterKey() const { return processEnterKey_; }
    rt::Usual SetProcessEnterKey(const rt::Usual& v) { return StoreLogic(processEnterKey_, v, "PROCESSENTERKEY"); }

private:
    static rt::Usual StoreLogic(bool& slot, const rt::Usual& v, const char* name);
    bool obeyFocus_ = false;
    bool processEnterKey_ = false;
    void CallButtonMethod();
    FieldFormat format_;
    NumEntry entry_{FieldFormat{}};
    std::shared_ptr<SleButton> button_;
    int rememberedCaret_ = -1;
    std::string enteredText_;  // the text when the field got the focus
    int beeps_ = 0;
    std::weak_ptr<DlgPeCalendar> lastCalendar_;
};

class DateSle : public RightSle {
    QZ_OBJECT(DateSle)
public:
    DateSle() = default;
    // The rightSLE, then its calendar button (IBM_CALUP, IBM_CALDN) at the
    // field's right end and the date field format.
    void Init(rt::Args args) override;
};

}  // namespace lib
