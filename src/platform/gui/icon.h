// Icons from the program's resources or drawn in code, with window handles
// of their own.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/handles.h"
#include "platform/runtime/object.h"

class QIcon;

namespace gui {

// An icon loaded from the program's resources.
class Icon : public rt::Object {
    QZ_OBJECT(Icon)
public:
    Icon() = default;
    // Loads the icon resource of that name (resources/icons/<name>.png or .svg).
    explicit Icon(const std::string& resourceName);
    ~Icon() override;
    const QIcon& Get() const;
    const std::string& Name() const { return name_; }
    // The icon's handle (handles.h), issued on first use.
    HWND Handle() const;

protected:
    void Load(const std::string& resourceName);
    // An icon whose picture is made in code rather than loaded.
    void SetPicture(const std::string& name, QIcon picture);

private:
    std::string name_;
    std::shared_ptr<QIcon> icon_;
    mutable HWND handle_ = 0;
};

}  // namespace gui
