#include "platform/rdd/fieldspec.h"

#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/text.h"

namespace rdd {

const rt::ClassDef& FieldSpec::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FieldSpec>("FIELDSPEC")
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
    : name_(std::move(name)), type_(rt::Upper(type)), length_(length), decimals_(decimals) {}

bool FieldSpec::Init(const rt::Usual& name, const rt::Usual& type, const rt::Usual& length, const rt::Usual& decimals) {
    name_ = name.IsSymbol() ? name.AsSymbol().Name() : name.AsStr();
    type_ = rt::Upper(type.AsStr());
    length_ = length.AsLong();
    decimals_ = decimals.AsLong();
    return true;
}

rt::Usual FieldSpec::Transform(const rt::Usual& value) const {
    if (type_ == "C") return rt::Usual(rt::PadR(value.IsString() ? value.AsStr() : AsString(value), length_));
    if (type_ == "N" && value.IsNumeric())
        return rt::Usual(Str(value, static_cast<int>(length_), static_cast<int>(decimals_)));
    if (type_ == "L" && value.IsLogic()) return rt::Usual(value.AsLogic() ? "T" : "F");
    if (type_ == "D" && value.IsDate()) return rt::Usual(DToC(value.AsDate()));
    return rt::Usual(AsString(value));
}

bool FieldSpec::Validate(const rt::Usual& value) const {
    if (value.IsNil()) return true;
    if (type_ == "C" || type_ == "M") return value.IsString();
    if (type_ == "N") return value.IsNumeric();
    if (type_ == "D") return value.IsDate();
    if (type_ == "L") return value.IsLogic();
    return true;
}

const rt::ClassDef& DataField::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<DataField>("DATAFIELD")
                                       .Method<&DataField::Init>("INIT")
                                       .Access<&DataField::Name>("NAME")
                                       .Access<&DataField::NameSym>("NAMESYM")
                                       .Access<&DataField::HyperLabelValue>("HYPERLABEL")
                                       .Access<&DataField::FieldSpecValue>("FIELDSPEC")
                                       .Done();
    return c;
}

DataField::DataField(std::string name, std::shared_ptr<FieldSpec> fieldSpec)
    : name_(std::move(name)), label_(rt::New<rt::HyperLabel>(rt::Symbol(name_), name_)), spec_(std::move(fieldSpec)) {}

bool DataField::Init(const rt::Usual& name, const rt::Usual& fieldSpec) {
    name_ = name.IsSymbol() ? name.AsSymbol().Name() : name.AsStr();
    label_ = rt::New<rt::HyperLabel>(rt::Symbol(name_), name_);
    spec_ = std::dynamic_pointer_cast<FieldSpec>(fieldSpec.AsObject());
    return true;
}

}  // namespace rdd
