// Field descriptions of a data server: FIELDSPEC (type letter, length,
// decimals; display form and type check of a value) and DATAFIELD (a
// name with its hyperlabel and FIELDSPEC).
#pragma once

#include <string>

#include "platform/runtime/hyperlabel.h"
#include "platform/runtime/object.h"

namespace rdd {

class FieldSpec : public rt::Object {
    QZ_OBJECT(FieldSpec)
public:
    FieldSpec() = default;
    FieldSpec(std::string name, std::string type, int64_t length, int64_t decimals);
    bool Init(const rt::Usual& name, const rt::Usual& type, const rt::Usual& length, const rt::Usual& decimals);

    const std::string& Name() const { return name_; }
    const std::string& ValType() const { return type_; }  // "C", "N", "D", "L", "M" (or as given)
    int64_t Length() const { return length_; }
    int64_t Decimals() const { return decimals_; }
    // The value as the field shows it: text padded to the length, numbers
    // in the field's width and decimals, dates under the date format,
    // logic "T" / "F".
    rt::Usual Transform(const rt::Usual& value) const;
    // Whether the value may be stored in the field: NIL, or a value of the
    // field's type.
    bool Validate(const rt::Usual& value) const;

private:
    std::string name_, type_;
    int64_t length_ = 0, decimals_ = 0;
};

class DataField : public rt::Object {
    QZ_OBJECT(DataField)
public:
    DataField() = default;
    DataField(std::string name, std::shared_ptr<FieldSpec> fieldSpec);
    bool Init(const rt::Usual& name, const rt::Usual& fieldSpec);

    const std::string& Name() const { return name_; }
    rt::Symbol NameSym() const { return label_ ? label_->NameSym : rt::Symbol(); }
    rt::Usual HyperLabelValue() const { return label_ ? rt::Usual(label_) : rt::Usual(); }
    rt::Usual FieldSpecValue() const { return spec_ ? rt::Usual(spec_) : rt::Usual(); }
    const FieldSpec* GetFieldSpec() const { return spec_.get(); }

private:
    std::string name_;
    std::shared_ptr<rt::HyperLabel> label_;
    std::shared_ptr<FieldSpec> spec_;
};

}  // namespace rdd
