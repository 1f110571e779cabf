#include "platform/rdd/fieldspec.h"

#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/text.h"

namespace rt {

const ClassDef& FieldSpec::StaticClass() {
    static const ClassDef& c = ClassBuilder<FieldSpec>("FIELDSPEC")
                                   .Method<&FieldSpec::Init>("INIT")
                                   .Access<&FieldSpec::Name>("NAME")
                                   .Access<&FieldSpec::ValType>("VALTYPE")
                                   .Access<&FieldSpec::Length>("LENGTH")
                                   .Access<&FieldSpec::Decimals>("DECIMALS")
                                   .Method<&FieldSpec::Transform>("TRANSFORM")
                                   .Method<&FieldSpec::Validate>("VALIDATE")
                                   .Done();
    return c;
}

FieldSpec::FieldSpec(std::string name, std::string type, int64_t length, int64_t decimals)
    : name_(std::move(name)), type_(Upper(type)), length_(length), decimals_(decimals) {}

bool FieldSpec::Init(const Usual& name, const Usual& type, const Usual& length, const Usual& decimals) {
    name_ = name.IsSymbol() ? name.AsSymbol().Name() : name.AsStr();
    type_ = Upper(type.AsStr());
    length_ = length.AsLong();
    decimals_ = decimals.AsLong();
    return true;
}

Usual FieldSpec::Transform(const Usual& value) const {
    if (type_ == "C") return Usual(PadR(value.IsString() ? value.AsStr() : AsString(value), length_));
    if (type_ == "N" && value.IsNumeric())
        return Usual(Str(value, static_cast<int>(length_), static_cast<int>(decimals_)));
    if (type_ == "L" && value.IsLogic()) return Usual(value.AsLogic() ? "T" : "F");
    if (type_ == "D" && value.IsDate()) return Usual(DToC(value.AsDate()));
    return Usual(AsString(value));
}

bool FieldSpec::Validate(const Usual& value) const {
    if (value.IsNil()) return true;
    if (type_ == "C" || type_ == "M") return value.IsString();
    if (type_ == "N") return value.IsNumeric();
    if (type_ == "D") return value.IsDate();
    if (type_ == "L") return value.IsLogic();
    return true;
}

const ClassDef& DataField::StaticClass() {
    static const ClassDef& c = ClassBuilder<DataField>("DATAFIELD")
                                   .Method<&DataField::Init>("INIT")
                                   .Access<&DataField::Name>("NAME")
                                   .Access<&DataField::NameSym>("NAMESYM")
                                   .Access<&DataField::HyperLabelValue>("HYPERLABEL")
                                   .Access<&DataField::FieldSpecValue>("FIELDSPEC")
                                   .Done();
    return c;
}

DataField::DataField(std::string name, std::shared_ptr<FieldSpec> spec)
    : name_(std::move(name)), label_(New<HyperLabel>(Symbol(name_), name_)), spec_(std::move(spec)) {}

bool DataField::Init(const Usual& name, const Usual& spec) {
    name_ = name.IsSymbol() ? name.AsSymbol().Name() : name.AsStr();
    label_ = New<HyperLabel>(Symbol(name_), name_);
    spec_ = std::dynamic_pointer_cast<FieldSpec>(spec.AsObject());
    return true;
}

}  // namespace rt
