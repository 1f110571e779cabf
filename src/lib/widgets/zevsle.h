// ZEV_SLE: a single-line edit that takes over the keyboard in number mode
// ("N": sign, "," groups, integer and decimal limits) or date mode ("D": the
// fixed layout DD.MM.YYYY with day, month and year keys). Any other edit type
// leaves it a plain edit.
#pragma once

#include "lib/widgets/zevmask.h"
#include "platform/gui/control.h"

namespace lib {

class ZevSle : public gui::SingleLineEdit {
    QZ_OBJECT(ZevSle)
public:
    ZevSle() = default;
    // INIT(owner, id, origin, size, edit type): the control on the owner's
    // template item of that id (a point and a dimension given here place
    // it), then the edit type (default "N").
    void Init(rt::Args args);
    void Init(gui::Window& owner, int id, const std::string& type = "N");

    rt::Usual SetSleType(const std::string& type);
    const std::string& SleType() const { return type_; }
    bool SETLEN(int64_t length = 10, int64_t decimals = 0);
    bool SETBUFFER(const std::string& text);
    const std::string& Buffer() const { return raw_; }
    int64_t SETPOS(int64_t pos, int64_t ref, bool toRaw = false) const;
    int IntegerLength() const { return integerLength_; }
    int Decimals() const { return decimals_; }
    int TotalLength() const { return totalLength_; }

    // The mode handlers: 1 when they took the message (a character message,
    // or the Delete key-down), else what the plain edit answers.
    int64_t NUMDISPATCH(gui::Event& event);
    int64_t DATEDISPATCH(gui::Event& event);
    bool Dispatch(gui::Event& event) override;
    // A paste (Ctrl+V, Shift+Insert, the middle button, a drop) in a mode:
    // taken when it makes a number or date the field can hold, else
    // refused with a beep.
    void Paste(const std::string& text);
    int Beeps() const { return beeps_; }

private:
    // The key a mode handler takes from this event, if any.
    bool TakeKey(const gui::Event& event, MaskKey& key) const;
    MaskEdit State() const;
    void Apply(const MaskEdit& e);
    bool IsType(const char* t) const;
    bool InMode() const { return IsType("N") || IsType("D"); }
    // In a mode, the text changes only by the mode's keys and pastes.
    void GuardText();
    void Beep();

    std::string type_ = "N";
    uint16_t integerLength_ = 0, decimals_ = 0, totalLength_ = 0;
    std::string raw_;
    int beeps_ = 0;
    bool guarded_ = false;
};

// DATE_ADDMONTH(date, months), late-bound as a function of this module.
rt::Usual DATE_ADDMONTH(const rt::Usual& date, const rt::Usual& months);

}  // namespace lib
